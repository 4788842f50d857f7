// The ground curve's tick: one tick of an aircraft rounding a taxiway corner (the curve's next
// parameter at an even pace, its point and tangent, the nose turned towards it). Corners of 30,
// 90 and 150 degrees, the control point midway and nearer one end; the time per tick.

#include <benchmark/benchmark.h>

#include "core/geodesy.hpp"
#include "records/aircraft.hpp"
#include "traffic/ground_movement.hpp"
#include "traffic/movement_geometry.hpp"

using namespace tamrix;

namespace {

// A corner at 50 N: from the origin `inM` metres north to the control point, then `outM` metres
// on, turned by `turnDeg`; crossed in 2000 ticks.
LiveAircraft cornering(double turnDeg, double inM, double outM) {
    LiveAircraft ac;
    ac.phase = MovePhase::Taxi;
    ac.angleStep = ac.currentAngleStep = 0.07 * kDegToRad;
    const GeoPosition origin{50.0, 8.0};
    const GeoPosition control = gf_destinationPoint(origin, 0.0, inM / 0.3048);
    const GeoPosition end = gf_destinationPoint(control, turnDeg * kDegToRad, outM / 0.3048);
    gf_setCurve(ac.move.curve, origin.latitude, origin.longitude, control.latitude, control.longitude,
                end.latitude, end.longitude);
    ac.move.curve.parameterStep = 1.0 / 2000.0;
    ac.position.latitude = origin.latitude;
    ac.position.longitude = origin.longitude;
    return ac;
}

void BM_GroundCurveTick(benchmark::State& state) {
    const double turn = static_cast<double>(state.range(0));
    const double out = static_cast<double>(state.range(1));
    LiveAircraft ac = cornering(turn, 60.0, out);
    for (auto _ : state) {
        lf_curveTick(ac);
        if (ac.move.curve.parameter >= 0.999999) {
            ac.move.curve.parameter = 0.0;
            ac.position.heading = 0.0;
        }
        benchmark::DoNotOptimize(ac.position);
    }
}
BENCHMARK(BM_GroundCurveTick)->Args({30, 60})->Args({90, 60})->Args({150, 60})->Args({90, 15});

} // namespace
