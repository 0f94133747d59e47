#ifndef ENGINE_ESTIMATION_COMPONENTFRAMES_H
#define ENGINE_ESTIMATION_COMPONENTFRAMES_H

#include "engine/model/localmodel.h"
#include "engine/model/network.h"
#include "engine/model/options.h"

#include <Eigen/Core>

#include <vector>

// The components in which the precisions of the adjusted points are given. A point's unknowns are
// corrections north, east and up: of the local frame in the local model, of the point's own
// horizon in the geodetic models. The geodetic models give them as asked:
//   NEU  north, east and up of the plane of the drawing: of the grid of its projection at the
//        point (at the first point for a pair) when the network has one, else of the tangent
//        plane at the network's centroid, the same for every point;
//   PLU  north along the point's meridian (P), east along its parallel (L) and up along its
//        normal (U): the unknowns themselves;
//   XYZ  geocentric X, Y and Z.
// The local model has only its own north, east and up.
namespace engine {

class ComponentFrames
{
public:
    // With `tangentPlane`, NEU is the tangent plane's even when the drawing is in a projection.
    ComponentFrames(const Network &network, const Options &options, const State &state,
                    RegionCoordinates coordinates, bool tangentPlane = false);

    // The matrix that carries the (north, east, up) corrections of `point` into the components
    // of the frame at `reference` (itself for one point, the first point for a pair: the frames
    // of PLU differ from point to point).
    Eigen::Matrix3d rotation(int point, int reference) const;

    // Whether every rotation is the identity.
    bool identity() const { return m_horizons.empty(); }

private:
    RegionCoordinates m_coordinates;
    Eigen::Matrix3d m_plane = Eigen::Matrix3d::Identity(); // NEU axes, geocentric columns
    std::vector<Eigen::Matrix3d> m_horizons;               // per point; empty: local model
    std::vector<Eigen::Matrix3d> m_grids; // per point, the drawing projection's NEU; empty: none
};

// The north, east and up axes, as columns in geocentric components, of the horizon at
// `latitude`, `longitude` (radians).
Eigen::Matrix3d northEastUpAxes(double latitude, double longitude);

} // namespace engine

#endif // ENGINE_ESTIMATION_COMPONENTFRAMES_H
