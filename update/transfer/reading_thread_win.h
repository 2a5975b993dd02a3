// The thread that reads a transfer's body: Wine's blocking reads wait until a whole block has
// come, however slowly it trickles in, and nothing ends such a read from outside. So the reading
// happens on a thread of its own, which asks only for what has come and hands blocks over through
// a short queue; the storing side watches the pace and CANCEL, and can give the transfer up, which
// the reader hears of at its next bytes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/scoped_win.h"
#include "update/transfer/download_end.h"
#include "update/transfer/http_request_win.h"
#include "update/transfer/http_response.h"
#include "update/transfer/transfer_limits.h"

// One transfer, between its reading thread and the storing side.
struct TransferJob {
    // Set before the job is handed over.
    std::string address;
    PreparedRequest request;
    DWORD blockLength = 0;
    TransferLimits limits;
    // Guarded by the mailbox's lock. The answer is filled in before the state leaves kAsking.
    std::deque<std::vector<char>> blocks;
    ReadState state = ReadState::kAsking;
    bool abandoned = false;  // the storing side gave up on it: the reader stops at its next turn
    Answer answer;
};

// What the readers of one session tell whoever steps their transfers: that something came. One
// thread can so wait for all of them at once. Slim locks and condition variables wait inside the
// process under Wine; the standard library's wait through the wineserver.
struct ArrivalSignal {
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
    uint64_t count = 0;  // grows with every piece of news
};

// Waits at most `milliseconds` for news after `*seen` (a count from an earlier call, or 0), and
// sets it to the count of now.
void WaitForNews(ArrivalSignal& news, uint64_t* seen, DWORD milliseconds);

// A reading thread and what it shares with the storing side.
struct ReaderMailbox {
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
    std::shared_ptr<TransferJob> job;     // the transfer to read, until the reader has ended it
    bool closing = false;                 // no more transfers: the thread ends when it is free
    std::shared_ptr<ArrivalSignal> news;  // the session's, told of every answer, block and end
    bool ended = false;                   // the thread is returning
};

// Wakes whoever waits on the mailbox: the reader, when the storing side has made room or handed it
// work.
void WakeReader(ReaderMailbox& line);

// A mailbox with its thread, which reads one job after another on `internet` until the mailbox closes.
struct Reader {
    std::shared_ptr<ReaderMailbox> line;
    std::thread thread;
};
// False when no thread could be had.
bool StartReader(const SharedInternet& internet, const std::shared_ptr<ArrivalSignal>& news, Reader* reader);
// Hands `job` to the reader's thread.
void GiveJob(ReaderMailbox& line, const std::shared_ptr<TransferJob>& job);
// Tells the thread to end once it is free; the job under way, if any, is abandoned.
void CloseMailbox(ReaderMailbox& line);
// Closes the mailboxes of `readers` and joins each thread that ends within `milliseconds`; one that
// waits for an answer's headers or does not end by then is left to end on its own, with what it
// owns. `readers` is empty afterwards.
void EndReaders(std::vector<Reader>* readers, DWORD milliseconds);
