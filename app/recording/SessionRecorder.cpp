#include "SessionRecorder.h"

#include "SessionNaming.h"

namespace recording {

SessionRecorder::SessionRecorder(WriterLimits limits, Reporter reporter, FileOpener opener,
                                 ReceiveDecoder::ClockFn clock)
    : FWriter(limits, std::move(reporter), std::move(opener)), FClock(std::move(clock)) {}

void SessionRecorder::BeginSession(const std::filesystem::path& folder) {
    FRecordNumber = 0;
    FWriter.Begin(folder, SessionFileStem(FClock(), FUnit));
}

void SessionRecorder::EndSession() { FWriter.End(); }

void SessionRecorder::Hand(record::Record&& r) {
    r.number = FRecordNumber + 1;
    r.unitId = FUnit.known ? FUnit.id : -1;
    r.unitName = FUnit.known ? FUnit.nameUtf8 : std::string();
    if (FWriter.Add(std::move(r))) ++FRecordNumber;
}

void SessionRecorder::StatusShown(const ShownStatusRecord& record) {
    if (!FWriter.Recording()) return FWriter.NotRecorded();  // a stopped session counts what it missed
    Hand(record::Record(record.Record));
}

void SessionRecorder::NameReceived(const ReceivedNameRecord& record) {
    FUnit.known = true;
    FUnit.id = record.UnitId;
    FUnit.nameUtf8 = record.NameUtf8;
    if (!FWriter.Recording()) return FWriter.NotRecorded();
    record::Record r;
    r.kind = record::Kind::Name;
    r.time = FLocalClock.FromLocal(FClock());  // a name record carries no time of its own; this is when it arrived
    r.bytes = record.Bytes;
    Hand(std::move(r));
}

} // namespace recording
