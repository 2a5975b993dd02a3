#include "update/transfer/download_end.h"

#include "update/transfer/http_response.h"

bool HasEnded(ReadState state) {
    return state != ReadState::kAsking && state != ReadState::kBody;
}

bool HasAnswered(ReadState state) {
    return state == ReadState::kBody || state == ReadState::kBodyEnded || state == ReadState::kBodyCut;
}

BodyEnd JudgeBodyEnd(ReadState state, int64_t announcedLength, uint64_t received) {
    switch (state) {
        case ReadState::kRefused:
            return BodyEnd::kFailed;
        case ReadState::kUnreachable:
            return BodyEnd::kBroken;
        case ReadState::kBodyCut:
            // Wine ends a body the server closes over TLS with a failed read: without a length,
            // that may be its end.
            return announcedLength < 0 ? BodyEnd::kUnsure : BodyEnd::kBroken;
        case ReadState::kBodyEnded:
            return IsCompleteBody(false, announcedLength, received) ? BodyEnd::kWhole : BodyEnd::kBroken;
        default:
            return BodyEnd::kBroken;  // not ended: nothing can be said of the body
    }
}

bool IsUsableAnswer(unsigned long status, bool rangeAsked, bool conditional) {
    return IsUsableStatus(status) || (rangeAsked && status == 206) || (conditional && status == 304);
}

RangeAnswer JudgeRangeAnswer(uint64_t askedFirstByte, unsigned long status, int64_t rangeStart) {
    if (askedFirstByte == 0 || status != 206)
        return RangeAnswer::kWholeFile;
    return rangeStart == static_cast<int64_t>(askedFirstByte) ? RangeAnswer::kRest : RangeAnswer::kWrongRange;
}

FileEnd DecideFileEnd(const FileEndFacts& facts) {
    // A body without a length can end the same way whether it is whole or cut: only its digest
    // tells. A resumed file joins two transfers, which may have sent two versions: only its
    // digest tells too.
    const bool arrived = facts.end == BodyEnd::kWhole || (!facts.lengthKnown && facts.end == BodyEnd::kUnsure);
    const bool stopped = facts.end == BodyEnd::kCancelled || facts.stopRequested;
    const DownloadOutcome stoppedOrBroken =
        facts.end == BodyEnd::kCancelled ? DownloadOutcome::kCancelled : DownloadOutcome::kFailedForNow;
    if (arrived && facts.closed && facts.digestMatches)
        return {FileEndAction::kKeepFetched, DownloadOutcome::kFetched};
    if ((arrived && facts.closed && facts.appended) || facts.wrongRange)
        return stopped ? FileEnd{FileEndAction::kDropPart, DownloadOutcome::kCancelled}
                       : FileEnd{FileEndAction::kFetchWhole, DownloadOutcome::kFailedForNow};
    if (facts.localEnd != DownloadOutcome::kStored)
        return {FileEndAction::kDropPart, facts.localEnd};
    const bool keepable = facts.end == BodyEnd::kBroken || facts.end == BodyEnd::kCancelled;
    if (!facts.answered && keepable)
        return {FileEndAction::kKeepAsItWas, stoppedOrBroken};
    if (keepable && facts.closed && facts.lengthKnown && facts.written > 0 && facts.hasValidator)
        return {FileEndAction::kKeepPart, stoppedOrBroken};
    // The old file is replaced only by a whole new one; a failed transfer leaves it as it was.
    if (facts.end == BodyEnd::kCancelled)
        return {FileEndAction::kDropPart, DownloadOutcome::kCancelled};
    const bool passing = facts.end == BodyEnd::kBroken || facts.end == BodyEnd::kUnsure;
    return {FileEndAction::kDropPart, passing ? DownloadOutcome::kFailedForNow : DownloadOutcome::kFailed};
}

bool DropsUnhandledFetch(DownloadOutcome outcome, EarlyEnd end, int64_t length) {
    if (outcome == DownloadOutcome::kFetched || end == EarlyEnd::kNoRoom)
        return true;
    return end == EarlyEnd::kFailure && length >= 0 && length < kRecordedFromBytes;
}
