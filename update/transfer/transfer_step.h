// What a transfer does next, decided from a plain picture of it: the storing side takes this
// step after step while the reading thread fills its queue.
#pragma once

struct TransferPicture {
    bool stopped = false;      // CANCEL, or the run gave the file up
    bool answerNew = false;    // an answer has come that the sink has not heard yet
    bool blockQueued = false;  // a block of the body waits in the queue
    bool bodyEnded = false;    // the reader has ended: the body is whole, cut, or never came
    bool tooSlow = false;      // the pace is below the limits (IsTransferTooSlow)
};

enum class TransferStep {
    kCancel,      // end now, kCancelled
    kHandAnswer,  // give the sink the answer, then look again
    kHandBlock,   // give the sink the first queued block, then look again
    kJudgeEnd,    // end with what the body's end says (JudgeBodyEnd)
    kTooSlow,     // end now, kBroken
    kWait,        // nothing to do until the reader has news
};

// A stop is looked at before anything else, so a body that keeps coming cannot hold CANCEL off;
// the answer goes before its body, and every queued block before the end is judged; a transfer
// is too slow only while nothing has come for it to hand on.
TransferStep NextTransferStep(const TransferPicture& picture);
