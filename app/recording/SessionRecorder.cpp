#include "SessionRecorder.h"

#include "SessionNaming.h"

namespace recording {

SessionRecorder::SessionRecorder(WriterLimits limits, Reporter reporter, FileOpener opener,
                                 ReceiveDecoder::ClockFn clock)
    : FWriter(limits, std::move(reporter), std::move(opener)), FClock(std::move(clock)) {}

void SessionRecorder::BeginSession(const std::filesystem::path& folder) {
    FRecordNumber = 0;
    FWriter.Begin(folder, SessionFileStem(FClock(), FUnit), FUnit);
}

void SessionRecorder::EndSession() { FWriter.End(); }

void SessionRecorder::StatusShown(const ShownStatusRecord& record) {
    if (!FWriter.Recording()) return FWriter.NotRecorded();  // a stopped session counts what it missed
    RecordRow row;
    row.kind = RecordRow::Kind::Status;
    row.time = record.Time;
    row.number = FRecordNumber + 1;
    row.car = record.Car;
    row.lastLb = record.LastLb;
    row.drivePwm = record.DrivePwm;
    row.brakePwm = record.BrakePwm;
    row.laneChange = record.LaneChange;
    row.bytes = record.Bytes;
    if (FWriter.Add(std::move(row))) ++FRecordNumber;
}

void SessionRecorder::NameReceived(const ReceivedNameRecord& record) {
    FUnit.known = true;
    FUnit.id = record.UnitId;
    FUnit.nameUtf8 = record.NameUtf8;
    if (!FWriter.Recording()) return FWriter.NotRecorded();
    RecordRow row;
    row.kind = RecordRow::Kind::Name;
    row.time = FClock();  // a name record carries no time of its own; this is when it arrived
    row.number = FRecordNumber + 1;
    row.bytes = record.Bytes;
    row.nameUtf8 = record.NameUtf8;
    if (FWriter.Add(std::move(row))) ++FRecordNumber;
}

} // namespace recording
