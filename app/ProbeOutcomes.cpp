#include "ProbeOutcomes.h"

#include <algorithm>

void ProbeOutcomes::Set(const std::string& port, std::string text) {
    auto it = std::find_if(FOutcomes.begin(), FOutcomes.end(), [&](const auto& p) { return p.first == port; });
    if (it == FOutcomes.end()) {
        FOutcomes.emplace_back(port, std::move(text));
    } else if (it->second != text) {
        it->second = std::move(text);
    } else {
        return;
    }
    ++FRevision;
}

void ProbeOutcomes::SetStableNames(std::map<std::string, std::string> names) {
    if (names == FStableNames) return;
    FStableNames = std::move(names);
    ++FRevision;
}

void ProbeOutcomes::Opened(const std::string& port) { Set(port, "opened, waiting for an answer"); }
void ProbeOutcomes::NoAnswer(const std::string& port) { Set(port, "opened, no answer"); }
void ProbeOutcomes::Answered(const std::string& port) { Set(port, "the receiver unit answered"); }

void ProbeOutcomes::Failed(const std::string& port, const std::string& devicePath, int error) {
    Set(port, DescribeOpenFailure(devicePath, error));
}

void ProbeOutcomes::Gone(const std::string& port) { Set(port, "the receiver unit went away"); }

void ProbeOutcomes::OpenHangs(const std::string& port, std::chrono::milliseconds deadline) {
    const auto tenths = (deadline.count() + 50) / 100;
    // Appended piece by piece: "." + text makes GCC 12 at -O3 warn falsely about an insert.
    std::string seconds = std::to_string(tenths / 10);
    if (tenths % 10 != 0) {
        seconds += '.';
        seconds += std::to_string(tenths % 10);
    }
    Set(port, "the open did not return within " + seconds + " s (a stuck driver or file system?); passed over until it does");
}

void ProbeOutcomes::StillHanging(const std::string& port) {
    Set(port, "passed over: its last open has not returned yet (a stuck driver or file system?)");
}

void ProbeOutcomes::TooManyHanging(const std::string& port, size_t hanging) {
    Set(port, "not opened: the opens of " + std::to_string(hanging) + " other ports have not returned yet");
}

void ProbeOutcomes::KeepOnly(const std::vector<std::string>& ports) {
    const auto forgotten = std::erase_if(FOutcomes, [&](const auto& p) { return std::find(ports.begin(), ports.end(), p.first) == ports.end(); });
    if (forgotten != 0) ++FRevision;
}

std::string ProbeOutcomes::Outcome(const std::string& port) const {
    for (const auto& [name, text] : FOutcomes) {
        if (name == port) return text;
    }
    return {};
}

std::string ProbeOutcomes::Tooltip() const {
    if (FOutcomes.empty()) return "No serial ports found yet.";
    std::string tip = "Last probe of each port:";
    for (const auto& [name, text] : FOutcomes) {
        const auto stable = FStableNames.find(name);
        tip += "\n" + name + (stable == FStableNames.end() ? "" : " (" + stable->second + ")") + ": " + text;
    }
    return tip;
}
