#include "statistics.h"

#include "distributions.h"
#include "inverseelements.h"
#include "text.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>

namespace engine {

Statistics computeStatistics(const Network &network, const AdjustmentOutcome &outcome,
                             const Options &options)
{
    Statistics st;
    const auto m = static_cast<Eigen::Index>(network.observations.size());
    st.observations = static_cast<int>(m);
    st.unknowns = outcome.unknowns.count;
    st.degreesOfFreedom = st.observations - st.unknowns;
    st.perObservation.resize(static_cast<std::size_t>(m));

    if (!(options.validation > 0.0 && options.validation < 1.0))
        throw std::domain_error(fr("seuil de confiance VALIDATION hors de ]0 ; 1[ : les tests "
                                   "statistiques ne sont pas définis."));
    Eigen::VectorXd cofactors = Eigen::VectorXd::Zero(m);
    if (outcome.factor) {
        st.inverse = std::make_shared<const SelectedInverse>(*outcome.factor);
        cofactors = adjustedObservationCofactors(*st.inverse, outcome.design);
    }

    for (Eigen::Index i = 0; i < m; ++i) {
        ObservationStatistics &s = st.perObservation[static_cast<std::size_t>(i)];
        const double p = outcome.weights(i);
        s.residual = outcome.residuals(i);
        const double redundancy = 1.0 - p * cofactors(i);
        st.rawRedundancySum += redundancy;
        s.redundancy = std::clamp(redundancy, 0.0, 1.0);
        s.adjustedSigma = std::sqrt(std::max(cofactors(i), 0.0));
        st.weightedSquares += p * s.residual * s.residual;
        st.redundancySum += s.redundancy;
    }

    // The risk alpha is exact even for a confidence next to 1, and every bound is taken from the
    // tail of alpha / 2 itself, whose complement could round to 1.
    const double alpha = 1.0 - options.validation;
    if (st.degreesOfFreedom > 0) {
        st.varianceFactor = st.weightedSquares / st.degreesOfFreedom;
        st.chiLower = chiSquareQuantile(alpha / 2.0, st.degreesOfFreedom);
        st.chiUpper = chiSquareUpperQuantile(alpha / 2.0, st.degreesOfFreedom);
        const bool passed = st.weightedSquares >= st.chiLower && st.weightedSquares <= st.chiUpper;
        st.chiSquare = passed ? ChiSquareOutcome::Passed : ChiSquareOutcome::Failed;
        // Automatic: scale only when the a priori precisions are too optimistic.
        st.scaled =
            options.sigmaScaling == SigmaScaling::Always ||
            (options.sigmaScaling == SigmaScaling::Auto && st.weightedSquares > st.chiUpper);
        if (st.scaled && st.varianceFactor > 0.0)
            st.sigmaScale = std::sqrt(st.varianceFactor);
        else
            st.scaled = false;
    }
    if (!st.scaled) {
        if (st.degreesOfFreedom > 0) {
            st.residualTest = ResidualTestKind::Normal;
            st.criticalValue = normalUpperQuantile(alpha / 2.0);
        }
    } else if (st.degreesOfFreedom >= 2) {
        st.residualTest = ResidualTestKind::Tau;
        st.criticalValue = tauCriticalValue(alpha, st.degreesOfFreedom);
    }

    for (Eigen::Index i = 0; i < m; ++i) {
        ObservationStatistics &s = st.perObservation[static_cast<std::size_t>(i)];
        const double sigma = network.observations[static_cast<std::size_t>(i)].sigma;
        s.adjustedSigma *= st.sigmaScale;
        s.controlled = s.redundancy >= kUncontrolledRedundancy;
        if (s.controlled) {
            s.normalized = s.residual / (st.sigmaScale * sigma * std::sqrt(s.redundancy));
            s.valid = st.residualTest == ResidualTestKind::None ||
                      std::fabs(s.normalized) <= st.criticalValue;
        }
        if (s.valid)
            ++st.validCount;
    }

    st.rankOrder.resize(static_cast<std::size_t>(m));
    for (Eigen::Index i = 0; i < m; ++i)
        st.rankOrder[static_cast<std::size_t>(i)] = static_cast<int>(i);
    std::stable_sort(st.rankOrder.begin(), st.rankOrder.end(), [&](int a, int b) {
        return std::fabs(st.perObservation[static_cast<std::size_t>(a)].normalized) >
               std::fabs(st.perObservation[static_cast<std::size_t>(b)].normalized);
    });
    for (std::size_t r = 0; r < st.rankOrder.size(); ++r)
        st.perObservation[static_cast<std::size_t>(st.rankOrder[r])].rank = static_cast<int>(r) + 1;

    // Standard deviations of the unknowns from the diagonal blocks of N^-1.
    st.pointSigmas.assign(network.points.size(), Eigen::Vector3d::Zero());
    st.orientationSigmas.assign(network.sets.size(), 0.0);
    if (st.inverse) {
        for (std::size_t p = 0; p < network.points.size(); ++p) {
            const auto &u = outcome.unknowns.point[p];
            if (u[0] < 0 && u[1] < 0 && u[2] < 0)
                continue;
            const Eigen::MatrixXd block = st.inverse->block(std::vector<int>(u.begin(), u.end()));
            for (int c = 0; c < 3; ++c)
                st.pointSigmas[p](c) = st.sigmaScale * std::sqrt(std::max(block(c, c), 0.0));
        }
        std::vector<int> sets(outcome.unknowns.set.begin(), outcome.unknowns.set.end());
        for (std::size_t s = 0; s < sets.size(); ++s) {
            if (sets[s] >= 0) {
                const Eigen::MatrixXd block = st.inverse->block({sets[s]});
                st.orientationSigmas[s] = st.sigmaScale * std::sqrt(std::max(block(0, 0), 0.0));
            }
        }
    }

    // Partial variance factors, per kind of observation then per group.
    std::map<int, PartialFactor> kinds;
    std::map<std::string, PartialFactor> groups;
    for (Eigen::Index i = 0; i < m; ++i) {
        const Observation &o = network.observations[static_cast<std::size_t>(i)];
        const ObservationStatistics &s = st.perObservation[static_cast<std::size_t>(i)];
        const double pv2 = outcome.weights(i) * s.residual * s.residual;
        for (PartialFactor *f :
             {&kinds[static_cast<int>(o.kind)], o.group.empty() ? nullptr : &groups[o.group]}) {
            if (!f)
                continue;
            ++f->count;
            f->weightedSquares += pv2;
            f->redundancy += s.redundancy;
        }
    }
    for (auto &[kind, f] : kinds) {
        f.label = observationCode(static_cast<ObservationKind>(kind));
        st.partialFactors.push_back(f);
    }
    for (auto &[group, f] : groups) {
        f.label = fr("groupe ") + group;
        st.partialFactors.push_back(f);
    }
    return st;
}

} // namespace engine
