#include "update/transfer/transfer_step.h"

#include <gtest/gtest.h>

namespace {

TEST(NextTransferStep, StopComesFirstThenTheAnswerThenEveryBlockThenTheEndAndSlownessLast) {
    struct Case {
        TransferPicture picture;
        TransferStep step;
        const char* why;
    } cases[] = {
        {{true, true, true, true, true}, TransferStep::kCancel, "a stop beats everything, queued blocks too"},
        {{true, false, true, false, false}, TransferStep::kCancel, "blocks that keep coming cannot hold a stop off"},
        {{false, true, true, true, true}, TransferStep::kHandAnswer, "the answer goes before its body"},
        {{false, false, true, true, true}, TransferStep::kHandBlock, "what came is handed on before the end"},
        {{false, false, true, false, true}, TransferStep::kHandBlock, "a block that came is no slowness"},
        {{false, false, false, true, true}, TransferStep::kJudgeEnd, "an ended body is judged, not timed"},
        {{false, false, false, false, true}, TransferStep::kTooSlow, "nothing came in time"},
        {{false, false, false, false, false}, TransferStep::kWait, "nothing to do yet"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NextTransferStep(c.picture), c.step) << c.why;
}

}  // namespace
