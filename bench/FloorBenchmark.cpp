// The floor of the flow step: the libm work that no arrangement of the step can avoid. Per node
// and step, Sutherland's law raises the temperature ratio of the predicted and of the new state
// to the power 1.5, and the time step takes the square root of the speed-of-sound term.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr double kReferenceTemperature = 288.16;
constexpr double kSoundFactor = 1.4 * 287;

// Temperatures of the running default field: air at rest near 288 K up to the hot block's 576 K.
std::vector<double> RealisticTemperatures(std::size_t count, unsigned seed) {
    std::mt19937_64 generator(seed);
    std::uniform_real_distribution<double> temperature(250.0, 600.0);
    std::vector<double> values(count);
    for (double& value : values) {
        value = temperature(generator);
    }
    return values;
}

void Floor(benchmark::State& state) {
    const auto nodes = static_cast<std::size_t>(state.range(0) * state.range(1));
    const std::vector<double> predicted = RealisticTemperatures(nodes, 1);
    const std::vector<double> corrected = RealisticTemperatures(nodes, 2);
    std::vector<double> predictedRatio(nodes);
    std::vector<double> correctedRatio(nodes);
    std::vector<double> soundTerm(nodes);
    for (std::size_t n = 0; n < nodes; ++n) {
        predictedRatio[n] = predicted[n] / kReferenceTemperature;
        correctedRatio[n] = corrected[n] / kReferenceTemperature;
        soundTerm[n] = corrected[n] * kSoundFactor;
    }
    std::vector<double> predictedPower(nodes);
    std::vector<double> correctedPower(nodes);
    std::vector<double> soundSpeed(nodes);
    for (auto _ : state) {
        for (std::size_t n = 0; n < nodes; ++n) {
            predictedPower[n] = std::pow(predictedRatio[n], 1.5);
            correctedPower[n] = std::pow(correctedRatio[n], 1.5);
            soundSpeed[n] = std::sqrt(soundTerm[n]);
        }
        benchmark::DoNotOptimize(predictedPower.data());
        benchmark::DoNotOptimize(correctedPower.data());
        benchmark::DoNotOptimize(soundSpeed.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(1));
}
BENCHMARK(Floor)->Args({70, 70})->Args({140, 140})->Args({280, 280})->Unit(benchmark::kMicrosecond);

}  // namespace
