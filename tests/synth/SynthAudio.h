// Rendering the synthesizer offline and measuring the sound: level, pitch and spectrum.
#pragma once

#include "FluidSynthService.h"

#include <array>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <numbers>
#include <vector>

namespace tarv::test {

inline const std::filesystem::path TimGm6mbFile = "/usr/share/sounds/sf2/TimGM6mb.sf2";
inline const std::filesystem::path FluidR3 = "/usr/share/sounds/sf2/FluidR3_GM.sf2";
constexpr double Rate = FluidSynthService::SampleRate;

inline std::uint32_t packed(int status, int data1, int data2 = 0)
{
    return static_cast<std::uint32_t>(status | (data1 << 8) | (data2 << 16));
}

// Holds the synthesizer's loading thread at its start until release(), so that "before the
// sound font is loaded" is certain in a test.
class LoadingGate {
public:
    std::function<void()> hook()
    {
        return [this] {
            std::unique_lock guard(fLock);
            fChanged.wait(guard, [this] { return fReleased; });
        };
    }
    void release()
    {
        std::lock_guard guard(fLock);
        fReleased = true;
        fChanged.notify_all();
    }
    // Declared after the synthesizer, the result releases the gate before the synthesizer's
    // destructor waits for its loading thread, also when a test ends early.
    auto releaseOnExit()
    {
        return std::unique_ptr<LoadingGate, void (*)(LoadingGate*)>(this, [](LoadingGate* gate) { gate->release(); });
    }

private:
    std::mutex fLock;
    std::condition_variable fChanged;
    bool fReleased = false;
};

// Renders `seconds` of audio in blocks of one audio period, as the audio driver does; mono mix.
inline std::vector<float> renderSeconds(FluidSynthService& synth, double seconds)
{
    const int block = FluidSynthService::PeriodSize;
    std::vector<float> mono;
    std::vector<float> left(block), right(block);
    const auto frames = static_cast<long>(seconds * Rate);
    for (long done = 0; done < frames; done += block) {
        synth.render(left.data(), right.data(), block);
        for (int i = 0; i < block; ++i)
            mono.push_back(0.5f * (left[i] + right[i]));
    }
    return mono;
}

inline double rms(const std::vector<float>& samples, double fromSeconds = 0, double toSeconds = 1e9)
{
    const auto from = static_cast<std::size_t>(fromSeconds * Rate);
    const auto to = std::min(samples.size(), static_cast<std::size_t>(toSeconds * Rate));
    if (from >= to)
        return 0;
    double sum = 0;
    for (std::size_t i = from; i < to; ++i)
        sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / double(to - from));
}

inline double peak(const std::vector<float>& samples)
{
    double result = 0;
    for (float s : samples)
        result = std::max(result, double(std::fabs(s)));
    return result;
}

// Fundamental frequency by autocorrelation over 60..2000 Hz: the shortest lag whose
// normalised correlation comes within 10 % of the best (so that a multiple of the period
// never wins), refined by a parabola through its neighbours.
inline double pitch(const std::vector<float>& samples, double fromSeconds, double seconds, double rate = Rate)
{
    const auto from = static_cast<std::size_t>(fromSeconds * rate);
    const auto length = static_cast<std::size_t>(seconds * rate);
    const int minLag = static_cast<int>(rate / 2000), maxLag = static_cast<int>(rate / 60);
    if (samples.size() < from + length + maxLag + 1)
        return 0;
    std::vector<double> correlation(maxLag + 2, 0.0);
    double energy = 0;
    for (std::size_t i = 0; i < length; ++i)
        energy += double(samples[from + i]) * samples[from + i];
    if (energy <= 0)
        return 0;
    for (int lag = minLag; lag <= maxLag + 1; ++lag) {
        double sum = 0;
        for (std::size_t i = 0; i < length; ++i)
            sum += double(samples[from + i]) * samples[from + i + lag];
        correlation[lag] = sum / energy;
    }
    double best = 0;
    for (int lag = minLag; lag <= maxLag; ++lag)
        best = std::max(best, correlation[lag]);
    for (int lag = minLag + 1; lag <= maxLag; ++lag) {
        if (correlation[lag] >= 0.9 * best && correlation[lag] >= correlation[lag - 1]
            && correlation[lag] >= correlation[lag + 1]) {
            const double a = correlation[lag - 1], b = correlation[lag], c = correlation[lag + 1];
            const double denominator = a - 2 * b + c;
            const double shift = denominator != 0 ? 0.5 * (a - c) / denominator : 0;
            return rate / (lag + shift);
        }
    }
    return 0;
}

// Relative strengths of the first eight harmonics of `fundamental` (Goertzel), summing to 1.
inline std::array<double, 8> harmonicProfile(const std::vector<float>& samples, double fromSeconds, double seconds,
                                             double fundamental)
{
    const auto from = static_cast<std::size_t>(fromSeconds * Rate);
    const auto length = std::min(samples.size() - from, static_cast<std::size_t>(seconds * Rate));
    std::array<double, 8> profile{};
    double total = 0;
    for (int k = 0; k < 8; ++k) {
        const double w = 2 * std::numbers::pi * fundamental * (k + 1) / Rate;
        const double coefficient = 2 * std::cos(w);
        double s1 = 0, s2 = 0;
        for (std::size_t i = 0; i < length; ++i) {
            const double s0 = samples[from + i] + coefficient * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        profile[k] = std::sqrt(std::max(0.0, s1 * s1 + s2 * s2 - coefficient * s1 * s2));
        total += profile[k];
    }
    for (double& value : profile)
        value = total > 0 ? value / total : 0;
    return profile;
}

inline double profileDistance(const std::array<double, 8>& a, const std::array<double, 8>& b)
{
    double sum = 0;
    for (std::size_t k = 0; k < a.size(); ++k)
        sum += std::fabs(a[k] - b[k]);
    return sum;
}

}   // namespace tarv::test
