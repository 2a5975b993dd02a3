#include "update/transfer/download_end.h"
#include "update/list/list_fetch.h"
#include "update/run/run_progress.h"

#include <gtest/gtest.h>

namespace {

TEST(BodyEnd, FollowsTheReadingSidesLastStateAndTheLength) {
    const struct {
        ReadState state;
        int64_t length;
        uint64_t received;
        BodyEnd end;
    } cases[] = {
        {ReadState::kRefused, -1, 0, BodyEnd::kFailed},   {ReadState::kUnreachable, -1, 0, BodyEnd::kBroken},
        {ReadState::kBodyEnded, 10, 10, BodyEnd::kWhole}, {ReadState::kBodyEnded, 10, 9, BodyEnd::kBroken},
        {ReadState::kBodyEnded, -1, 9, BodyEnd::kWhole},  {ReadState::kBodyCut, 10, 10, BodyEnd::kBroken},
        {ReadState::kBodyCut, -1, 9, BodyEnd::kUnsure},
    };
    for (const auto& c : cases)
        EXPECT_EQ(JudgeBodyEnd(c.state, c.length, c.received), c.end)
            << static_cast<int>(c.state) << " " << c.length << " " << c.received;
    EXPECT_TRUE(HasAnswered(ReadState::kBodyCut));
    EXPECT_FALSE(HasAnswered(ReadState::kUnreachable));
    EXPECT_FALSE(HasEnded(ReadState::kBody));
    EXPECT_TRUE(HasEnded(ReadState::kRefused));
}

TEST(RangeAnswer, OnlyA206FromTheByteAskedForGoesOnFromThePart) {
    EXPECT_EQ(JudgeRangeAnswer(0, 200, -1), RangeAnswer::kWholeFile);
    EXPECT_EQ(JudgeRangeAnswer(600000, 200, -1), RangeAnswer::kWholeFile);  // the version changed
    EXPECT_EQ(JudgeRangeAnswer(600000, 206, 600000), RangeAnswer::kRest);
    EXPECT_EQ(JudgeRangeAnswer(600000, 206, 300000), RangeAnswer::kWrongRange);
    EXPECT_EQ(JudgeRangeAnswer(600000, 206, -1), RangeAnswer::kWrongRange);
    EXPECT_TRUE(IsUsableAnswer(200, false));
    EXPECT_TRUE(IsUsableAnswer(206, true));
    EXPECT_FALSE(IsUsableAnswer(206, false));
    EXPECT_FALSE(IsUsableAnswer(304, true));
    EXPECT_TRUE(IsUsableAnswer(304, false, true));
}

TEST(ListEnd, OnlyAMissingOrUnreachableListSendsTheRunToTheNextRoot) {
    const struct {
        BodyEnd end;
        unsigned long status;
        ListAnswer::Kind kind;
    } cases[] = {
        {BodyEnd::kWhole, 200, ListAnswer::Kind::kList},
        {BodyEnd::kWhole, 304, ListAnswer::Kind::kNotModified},
        {BodyEnd::kBroken, 0, ListAnswer::Kind::kUnreachable},  // no connection, a timeout
        {BodyEnd::kBroken, 503, ListAnswer::Kind::kUnreachable},
        {BodyEnd::kBroken, 200, ListAnswer::Kind::kUnreachable},  // cut short
        {BodyEnd::kUnsure, 200, ListAnswer::Kind::kUnreachable},
        {BodyEnd::kFailed, 404, ListAnswer::Kind::kUnreachable},
        {BodyEnd::kFailed, 403, ListAnswer::Kind::kRefused},
        {BodyEnd::kFailed, 200, ListAnswer::Kind::kRefused},  // past the limit
        {BodyEnd::kCancelled, 200, ListAnswer::Kind::kCancelled},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ClassifyListEnd(c.end, c.status), c.kind) << static_cast<int>(c.end) << " " << c.status;
}

FileEndFacts Whole() {
    FileEndFacts facts;
    facts.end = BodyEnd::kWhole;
    facts.answered = true;
    facts.lengthKnown = true;
    facts.closed = true;
    facts.digestMatches = true;
    facts.written = 5000;
    facts.hasValidator = true;
    return facts;
}

TEST(FileEnd, AFileIsKeptOnlyWholeWithItsDigestAndAPartOnlyWithALengthAndAValidator) {
    const struct {
        const char* name;
        void (*change)(FileEndFacts&);
        FileEndAction action;
        DownloadOutcome outcome;
    } cases[] = {
        {"whole, digest matches", [](FileEndFacts&) {}, FileEndAction::kKeepFetched, DownloadOutcome::kFetched},
        {"no length, ended by a failed read, digest matches",
         [](FileEndFacts& f) { f.lengthKnown = false, f.end = BodyEnd::kUnsure; }, FileEndAction::kKeepFetched,
         DownloadOutcome::kFetched},
        {"whole, another digest", [](FileEndFacts& f) { f.digestMatches = false; }, FileEndAction::kDropPart,
         DownloadOutcome::kFailed},
        // Every byte hashed and matching, but the disk refused the last ones at the close.
        {"whole, digest matches, the close failed",
         [](FileEndFacts& f) { f.closed = false, f.localEnd = DownloadOutcome::kNoRoom; }, FileEndAction::kDropPart,
         DownloadOutcome::kNoRoom},
        {"no length, cut, another digest",
         [](FileEndFacts& f) { f.lengthKnown = false, f.end = BodyEnd::kUnsure, f.digestMatches = false; },
         FileEndAction::kDropPart, DownloadOutcome::kFailedForNow},
        {"resumed, another digest", [](FileEndFacts& f) { f.appended = true, f.digestMatches = false; },
         FileEndAction::kFetchWhole, DownloadOutcome::kFailedForNow},
        {"resumed, another digest, stop asked",
         [](FileEndFacts& f) { f.appended = true, f.digestMatches = false, f.stopRequested = true; },
         FileEndAction::kDropPart, DownloadOutcome::kCancelled},
        {"a 206 from elsewhere",
         [](FileEndFacts& f) { f.wrongRange = true, f.end = BodyEnd::kFailed, f.answered = false; },
         FileEndAction::kFetchWhole, DownloadOutcome::kFailedForNow},
        {"no room", [](FileEndFacts& f) { f.end = BodyEnd::kFailed, f.localEnd = DownloadOutcome::kNoRoom; },
         FileEndAction::kDropPart, DownloadOutcome::kNoRoom},
        {"cut before any answer", [](FileEndFacts& f) { f.end = BodyEnd::kBroken, f.answered = false; },
         FileEndAction::kKeepAsItWas, DownloadOutcome::kFailedForNow},
        {"cancelled before any answer", [](FileEndFacts& f) { f.end = BodyEnd::kCancelled, f.answered = false; },
         FileEndAction::kKeepAsItWas, DownloadOutcome::kCancelled},
        {"cut midway", [](FileEndFacts& f) { f.end = BodyEnd::kBroken, f.digestMatches = false; },
         FileEndAction::kKeepPart, DownloadOutcome::kFailedForNow},
        {"cancelled midway", [](FileEndFacts& f) { f.end = BodyEnd::kCancelled, f.digestMatches = false; },
         FileEndAction::kKeepPart, DownloadOutcome::kCancelled},
        {"cut midway, no validator",
         [](FileEndFacts& f) { f.end = BodyEnd::kBroken, f.digestMatches = false, f.hasValidator = false; },
         FileEndAction::kDropPart, DownloadOutcome::kFailedForNow},
        {"cancelled midway, no length",
         [](FileEndFacts& f) { f.end = BodyEnd::kCancelled, f.digestMatches = false, f.lengthKnown = false; },
         FileEndAction::kDropPart, DownloadOutcome::kCancelled},
        {"cut before a byte", [](FileEndFacts& f) { f.end = BodyEnd::kBroken, f.digestMatches = false, f.written = 0; },
         FileEndAction::kDropPart, DownloadOutcome::kFailedForNow},
        {"refused", [](FileEndFacts& f) { f.end = BodyEnd::kFailed, f.answered = false, f.digestMatches = false; },
         FileEndAction::kDropPart, DownloadOutcome::kFailed},
    };
    for (const auto& c : cases) {
        FileEndFacts facts = Whole();
        c.change(facts);
        const FileEnd end = DecideFileEnd(facts);
        EXPECT_EQ(end.action, c.action) << c.name;
        EXPECT_EQ(end.outcome, c.outcome) << c.name;
    }
}

TEST(FileEnd, WhatARunThatEndsEarlyDropsOfTheFilesFetchedAhead) {
    const EarlyEnd kCancel = EarlyEnd::kCancel;
    const EarlyEnd kFailure = EarlyEnd::kFailure;
    const struct {
        DownloadOutcome outcome;
        EarlyEnd end;
        int64_t length;
        bool dropped;
    } cases[] = {
        {DownloadOutcome::kFetched, kCancel, 100, true},        // whole, never installed
        {DownloadOutcome::kFetched, kFailure, 64 << 20, true},  // large too
        {DownloadOutcome::kCancelled, kCancel, 100, false},     // CANCEL keeps what arrived
        {DownloadOutcome::kCancelled, kFailure, 100, true},     // an earlier file failed
        {DownloadOutcome::kCancelled, kFailure, (4 << 20) - 1, true},
        {DownloadOutcome::kCancelled, kFailure, 4 << 20, false},  // its record lets the next run go on
        {DownloadOutcome::kCancelled, kFailure, -1, false},       // no answer: a part from before stays
        // The disk is full: no part stays, however large.
        {DownloadOutcome::kCancelled, EarlyEnd::kNoRoom, 64 << 20, true},
        {DownloadOutcome::kCancelled, EarlyEnd::kNoRoom, -1, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DropsUnhandledFetch(c.outcome, c.end, c.length), c.dropped)
            << static_cast<int>(c.outcome) << " " << static_cast<int>(c.end) << " " << c.length;
}

TEST(ProgressFigure, MovesWithTheBytesOfTheEntryUnderWayButNeverReachesTheNext) {
    // 3 entries handled of 4, 1000 units each; the fourth under way.
    EXPECT_EQ(ProgressFigure(3, 1000, 0, -1), 3000);
    EXPECT_EQ(ProgressFigure(3, 1000, 500, -1), 3000);  // no length yet
    EXPECT_EQ(ProgressFigure(3, 1000, 250, 1000), 3250);
    EXPECT_EQ(ProgressFigure(3, 1000, 1000, 1000), 3999);
    EXPECT_EQ(ProgressFigure(3, 1000, 5000, 1000), 3999);
    EXPECT_EQ(ProgressFigure(3, 1, 500, 1000), 3);
    EXPECT_EQ(ProgressUnitsPerEntry(1), 1000);
    EXPECT_EQ(ProgressUnitsPerEntry(2147483), 1000);
    EXPECT_EQ(ProgressUnitsPerEntry(2147484), 999);
    EXPECT_EQ(ProgressUnitsPerEntry(3000000), 715);
    EXPECT_EQ(ProgressUnitsPerEntry(2147483647), 1);
}

}  // namespace
