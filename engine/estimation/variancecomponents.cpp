#include "engine/estimation/variancecomponents.h"

#include "engine/base/text.h"
#include "engine/estimation/distributions.h"
#include "engine/estimation/statistics.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace engine {

VarianceGroups varianceGroups(const Network &network)
{
    VarianceGroups groups;
    std::map<std::string, int> byName;
    const auto groupNamed = [&](const std::string &name) {
        const auto [at, added] = byName.emplace(name, static_cast<int>(groups.names.size()));
        if (added)
            groups.names.push_back(name);
        return at->second;
    };
    groups.of.reserve(network.observations.size());
    for (const Observation &o : network.observations) {
        const bool declared = o.varianceGroup >= 0 && static_cast<std::size_t>(o.varianceGroup) <
                                                          network.varianceGroups.size();
        groups.of.push_back(groupNamed(
            declared ? network.varianceGroups[static_cast<std::size_t>(o.varianceGroup)].name
                     : observationCode(o.kind)));
    }
    for (const CorrelatedBlock &block : network.correlated) {
        const auto first = static_cast<std::size_t>(block.first);
        std::fill_n(groups.of.begin() + static_cast<std::ptrdiff_t>(first), block.size(),
                    groups.of[first]);
    }
    return groups;
}

bool declaresVarianceGroups(const Network &network)
{
    return std::any_of(network.observations.begin(), network.observations.end(),
                       [](const Observation &o) { return o.varianceGroup >= 0; });
}

namespace {

struct GroupSums
{
    std::vector<double> weightedSquares; // v' P v of the group, with the weights of the run
    std::vector<double> redundancy;
};

GroupSums groupSums(const AdjustmentOutcome &outcome, const Statistics &statistics,
                    const VarianceGroups &groups)
{
    GroupSums sums;
    sums.weightedSquares.assign(groups.names.size(), 0.0);
    sums.redundancy.assign(groups.names.size(), 0.0);
    const Eigen::VectorXd &v = outcome.residuals;
    Eigen::VectorXd pv = outcome.weights.cwiseProduct(v);
    for (const WeightBlock &block : outcome.weightBlocks)
        pv.segment(block.first, block.size()) = block.weight * v.segment(block.first, block.size());
    for (std::size_t i = 0; i < groups.of.size(); ++i) {
        const auto g = static_cast<std::size_t>(groups.of[i]);
        const auto e = static_cast<Eigen::Index>(i);
        sums.weightedSquares[g] += v(e) * pv(e);
        sums.redundancy[g] += statistics.perObservation[i].redundancy;
    }
    return sums;
}

} // namespace

AdjustmentOutcome varianceComponentAdjust(const Network &network, const Options &options,
                                          const VarianceGroups &groups, Diagnostics &diagnostics,
                                          VarianceOutcome &variance)
{
    variance = VarianceOutcome();
    if (options.varianceMethod == VarianceMethod::Lsvce) {
        diagnostics.error(std::string(), 0,
                          fr("La méthode LSVCE d'estimation des composantes de variance n'est pas "
                             "traitée par ce moteur : seule HELMERT est disponible."));
        return AdjustmentOutcome();
    }
    if (options.calculationType == CalculationType::Huber ||
        options.calculationType == CalculationType::L1Norm) {
        diagnostics.error(std::string(), 0,
                          fr("L'estimation des composantes de variance ne se combine pas avec "
                             "l'estimation robuste (") +
                              optionToken(options.calculationType) +
                              fr(") : choisir AJUSTEMENT ou retirer les groupes de variance."));
        return AdjustmentOutcome();
    }
    const std::size_t groupCount = groups.names.size();
    const auto m = static_cast<Eigen::Index>(network.observations.size());
    std::vector<double> components(groupCount, 1.0);
    Eigen::VectorXd factors = Eigen::VectorXd::Ones(m);
    AdjustmentOutcome current;
    State approximate;
    GroupSums sums;
    std::vector<double> ratios(groupCount, 1.0);
    for (int iteration = 1; iteration <= options.varianceIterations; ++iteration) {
        const State previous = current.state;
        Reweighting reweighting;
        reweighting.factors = factors;
        reweighting.start = iteration > 1 ? &previous : nullptr;
        reweighting.factor = std::move(current.factor);
        current = adjust(network, options, diagnostics, std::move(reweighting));
        if (!current.solved || diagnostics.hasErrors())
            return current;
        if (iteration == 1)
            approximate = current.approximate;
        Statistics statistics = computeStatistics(network, current, options);
        statistics.inverse.reset();
        sums = groupSums(current, statistics, groups);
        variance.iterations = iteration;
        double largest = 0.0;
        for (std::size_t g = 0; g < groupCount; ++g) {
            ratios[g] = 1.0;
            if (sums.redundancy[g] < kLeastGroupRedundancy)
                continue;
            ratios[g] = sums.weightedSquares[g] / sums.redundancy[g];
            if (!(ratios[g] > 0.0) || !std::isfinite(ratios[g])) {
                diagnostics.error(std::string(), 0,
                                  fr("Composante de variance nulle ou non finie pour le groupe ") +
                                      groups.names[g] +
                                      fr(" : ses résidus sont nuls, sa variance ne peut être "
                                         "estimée."));
                current.solved = false;
                return current;
            }
            largest = std::max(largest, std::fabs(ratios[g] - 1.0));
        }
        if (options.logVarianceIterations)
            variance.history.push_back(ratios);
        if (largest <= kVarianceTolerance) {
            variance.estimated = true;
            break;
        }
        if (iteration == options.varianceIterations)
            break;
        for (std::size_t g = 0; g < groupCount; ++g)
            components[g] *= ratios[g];
        for (Eigen::Index i = 0; i < m; ++i)
            factors(i) = 1.0 / components[static_cast<std::size_t>(groups.of[i])];
    }
    current.approximate = approximate;
    if (!variance.estimated)
        diagnostics.warning(std::string(), 0,
                            fr("L'estimation des composantes de variance ne converge pas en ") +
                                std::to_string(variance.iterations) +
                                fr(" itérations (VCEITERMAX) : les poids sont ceux de la "
                                   "dernière itération."));
    const double alpha = 1.0 - options.validation;
    std::vector<int> counts(groupCount, 0);
    for (int g : groups.of)
        ++counts[static_cast<std::size_t>(g)];
    for (std::size_t g = 0; g < groupCount; ++g) {
        VarianceComponent c;
        c.name = groups.names[g];
        c.count = counts[g];
        c.redundancy = sums.redundancy[g];
        c.variance = components[g];
        c.estimable = c.redundancy >= kLeastGroupRedundancy;
        if (c.estimable) {
            c.chiLower = chiSquareQuantile(alpha / 2.0, c.redundancy);
            c.chiUpper = chiSquareUpperQuantile(alpha / 2.0, c.redundancy);
            const double test = c.redundancy * c.variance;
            c.passed = test >= c.chiLower && test <= c.chiUpper;
        }
        variance.components.push_back(c);
    }
    return current;
}

} // namespace engine
