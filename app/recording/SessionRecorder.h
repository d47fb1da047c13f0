#pragma once
// Takes the records the decoder shows and hands those of a session to the session writer. It
// learns the unit's identity from every name record, so a session file is named after the unit
// that answered before Start.
#include <filesystem>

#include "SessionNaming.h"
#include "SessionWriter.h"
#include "app/ReceiveDecoder.h"

namespace recording {

class SessionRecorder : public RecordObserver {
public:
    explicit SessionRecorder(WriterLimits limits, Reporter reporter, FileOpener opener = {},
                             ReceiveDecoder::ClockFn clock = toolkit::Now);

    // A session starts recording into a new file in folder; one already recording ends first.
    void BeginSession(const std::filesystem::path& folder);
    void EndSession();
    // A session is recording (begun, not ended, not stopped by a failure).
    bool Recording() const { return FWriter.Recording(); }
    // A session is on (begun, not ended), recording or stopped by a failure.
    bool InSession() const { return FWriter.InSession(); }

    SessionWriter& Writer() { return FWriter; }
    const UnitIdentity& Unit() const { return FUnit; }

    void StatusShown(const ShownStatusRecord& record) override;
    void NameReceived(const ReceivedNameRecord& record) override;

private:
    // Numbers the record, names its unit and hands it to the writer.
    void Hand(record::Record&& r);

    SessionWriter FWriter;
    ReceiveDecoder::ClockFn FClock;
    UnitIdentity FUnit;
    uint64_t FRecordNumber = 0;
    record::LocalClock FLocalClock;
};

} // namespace recording
