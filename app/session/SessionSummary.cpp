#include "SessionSummary.h"

namespace session {
void SummaryAccumulator::Add(int64_t, uint8_t, uint8_t, uint8_t, bool) {}
void SummaryAccumulator::Clear() {}
Summary SummaryAccumulator::Result() const { return {}; }
const std::string& SummaryCsvHeader() { static const std::string h; return h; }
std::string SummaryCsv(const Summary&) { return {}; }
std::vector<std::string> SummaryFields(const CarSummary&, int64_t) { return {}; }
std::string RecordsPerSecondText(uint64_t, int64_t) { return {}; }
std::string MeanText(uint64_t, uint64_t) { return {}; }
const std::string& SummaryColumnsHelp() { static const std::string h; return h; }
} // namespace session
