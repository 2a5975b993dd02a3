#include "update/transfer/transfer_step.h"

TransferStep NextTransferStep(const TransferPicture& picture) {
    if (picture.stopped)
        return TransferStep::kCancel;
    if (picture.answerNew)
        return TransferStep::kHandAnswer;
    if (picture.blockQueued)
        return TransferStep::kHandBlock;
    if (picture.bodyEnded)
        return TransferStep::kJudgeEnd;
    if (picture.tooSlow)
        return TransferStep::kTooSlow;
    return TransferStep::kWait;
}
