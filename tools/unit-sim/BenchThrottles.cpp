#include "BenchThrottles.h"

#include <algorithm>
#include <cmath>

namespace unitsim {

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr uint8_t kNoLbYet = 0x6F;

struct ModelName {
    ThrottleModel model;
    std::string_view name;
};
constexpr ModelName kModels[] = {
    {ThrottleModel::Healthy, "healthy"}, {ThrottleModel::Creep, "creep"},   {ThrottleModel::Short, "short"},
    {ThrottleModel::DeadSpot, "dead_spot"}, {ThrottleModel::Jitter, "jitter"}, {ThrottleModel::Bounce, "bounce"},
    {ThrottleModel::Stuck, "stuck"},
};

uint32_t Next(uint32_t& state) {
    // xorshift32: plausible and the same every run.
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}
} // namespace

std::optional<ThrottleModel> ThrottleModelFromName(std::string_view name) {
    for (const ModelName& m : kModels) {
        if (m.name == name) return m.model;
    }
    return std::nullopt;
}

std::string_view ThrottleModelName(ThrottleModel model) {
    for (const ModelName& m : kModels) {
        if (m.model == model) return m.name;
    }
    return {};
}

std::string ThrottleModelNames() {
    std::string names;
    for (const ModelName& m : kModels) {
        if (!names.empty()) names += ", ";
        names += m.name;
    }
    return names;
}

BenchUser::BenchUser(uint32_t seed) : FRandom(seed != 0 ? seed : 1) { Plan(0); }

double BenchUser::Uniform(double low, double high) { return low + (high - low) * (Next(FRandom) / 4294967296.0); }

void BenchUser::Plan(double from) {
    FStart[0] = from;                                  // released
    FStart[1] = FStart[0] + Uniform(2.8, 3.4);         // slow pull
    FStart[2] = FStart[1] + Uniform(2.5, 3.2);         // hold at full
    FStart[3] = FStart[2] + Uniform(1.5, 1.9);         // slow let-go
    FStart[4] = FStart[3] + Uniform(2.5, 3.2);         // a pause, released
    FStart[5] = FStart[4] + Uniform(1.2, 1.6);         // five presses
    FPressDown = Uniform(0.12, 0.2);
    FPressGap = Uniform(0.25, 0.35);
    FStart[6] = FStart[5] + 5 * (FPressDown + FPressGap);  // released until the next round
    FStart[7] = FStart[6] + Uniform(1.5, 2.5);
    // A hand never moves at one even speed; this keeps the squeeze one way all along.
    FWobble = Uniform(0.0, 0.05);
    FWobbleWaves = Uniform(1.5, 3.0);
}

Hands BenchUser::At(double seconds) {
    while (seconds >= FStart[7]) Plan(FStart[7]);
    Hands hands;
    const auto into = [&](int phase) { return (seconds - FStart[phase]) / (FStart[phase + 1] - FStart[phase]); };
    const auto uneven = [&](double u) { return std::clamp(u + FWobble * std::sin(2 * kPi * FWobbleWaves * u), 0.0, 1.0); };
    if (seconds < FStart[1]) {
        hands.trigger = 0;
    } else if (seconds < FStart[2]) {
        hands.trigger = uneven(into(1));
    } else if (seconds < FStart[3]) {
        hands.trigger = 1;
    } else if (seconds < FStart[4]) {
        hands.trigger = 1 - uneven(into(3));
    } else if (seconds >= FStart[5] && seconds < FStart[6]) {
        const double inPress = std::fmod(seconds - FStart[5], FPressDown + FPressGap);
        hands.button = inPress < FPressDown;
    }
    return hands;
}

ThrottleUnit::ThrottleUnit(uint8_t car, ThrottleModel model, uint32_t seed)
    : FCar(car), FModel(model), FRandom(seed != 0 ? seed : 1) {}

uint8_t ThrottleUnit::Drive(double trigger) {
    const auto level = [](double v) { return static_cast<int>(std::lround(std::clamp(v, 0.0, 255.0))); };
    int drive = level(255 * trigger);
    switch (FModel) {
    case ThrottleModel::Creep: drive = level(6 + 249 * trigger); break;
    case ThrottleModel::Short: drive = level(230 * trigger); break;
    case ThrottleModel::DeadSpot:
        // A worn band of the track: the drive hangs at its lower edge, then jumps over it.
        if (drive > 110 && drive < 150) drive = 110;
        break;
    case ThrottleModel::Jitter:
        // A dirty track: now and then the wiper loses contact and the drive flicks back.
        if (trigger > 0.02 && Next(FRandom) % 6 == 0) drive = std::max(0, drive - 3 - static_cast<int>(Next(FRandom) % 2));
        break;
    default: break;
    }
    return static_cast<uint8_t>(drive);
}

bool ThrottleUnit::Button(double seconds, bool pressed) {
    if (pressed && !FPressed) FPressedAt = seconds;
    if (!pressed && FPressed) FReleasedAt = seconds;
    FPressed = pressed;
    switch (FModel) {
    case ThrottleModel::Bounce:
        // The contact chatters as it closes: on, off for a moment, on again.
        if (pressed) return !(seconds - FPressedAt >= 0.015 && seconds - FPressedAt < 0.04);
        return false;
    case ThrottleModel::Stuck:
        // Once pressed, it comes back only seconds after the finger has left it.
        return pressed || (FReleasedAt >= 0 && seconds - FReleasedAt < 3.0);
    default: return pressed;
    }
}

ThrottleUnit::Reading ThrottleUnit::Read(double seconds, const Hands& hands) {
    Reading r;
    r.drive = Drive(hands.trigger);
    r.laneChange = Button(seconds, hands.button);
    return r;
}

BenchThrottles::BenchThrottles(const std::vector<Car>& cars, bool benchUser, uint32_t seed) : FBenchUser(benchUser) {
    for (const Car& c : cars) {
        const uint32_t carSeed = seed * 2654435761u + c.number + 1;
        FSeats.push_back({ThrottleUnit(c.number, c.model, carSeed), BenchUser(carSeed ^ 0x9E3779B9u)});
    }
}

std::string BenchThrottles::NextPayload(double seconds) {
    Seat& seat = FSeats[FNext];
    FNext = (FNext + 1) % FSeats.size();
    const Hands hands = FBenchUser ? seat.user.At(seconds) : Hands{};
    const ThrottleUnit::Reading r = seat.unit.Read(seconds, hands);
    std::string p(7, '\0');
    p[0] = 'S';
    p[1] = static_cast<char>(FCounter++);
    p[2] = static_cast<char>(seat.unit.Car());
    p[3] = static_cast<char>(kNoLbYet);
    p[4] = static_cast<char>(r.drive);
    p[5] = static_cast<char>(r.brake);
    p[6] = static_cast<char>(r.laneChange ? 1 : 0);
    return p;
}

} // namespace unitsim
