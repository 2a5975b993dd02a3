// One update run: fetch the manifest, compare each listed file's digest with the local copy and
// download what is missing or differs, reporting every step through the given operations.
#pragma once

#include <string>
#include <vector>

#include "update/run/status_texts.h"
#include "update/run/update_operations.h"

// Runs to one of its ends (no connection, a list not signed or older than the one accepted, empty manifest, cancelled,
// a download failed, no room, a file in use, a file that cannot be written, complete), posts its text last and returns
// true only for the complete one; the caller announces the end once the threads it started for the run are gone. Memory
// running out ends the run as a failed fetch before the first entry is examined, and as a failed download of the entry
// under way after that. Our temporary downloads left beside listed files are deleted before the first entry is
// examined, unless they can resume; a complete run deletes every other one it found too. Progress held back while the
// window has not read the last one goes out before the next status text, so the figures are exact
// whenever a text or the finish arrives. Files live under `launcherFolder` (no trailing
// separator). `serverRoots` are the servers' schemes and hosts, the main one first: the list comes
// from the first that answers (FetchList), and each file from that one, or, when it fails there,
// from the others in their order before the run waits to try again.
//
// With transfersAtOnce, files are fetched ahead of their turn, several at once, but each goes in
// place only once every entry before it is handled: the texts and figures are those of a run that
// fetches one file at a time, only sooner. The first entry in list order that fails ends the run:
// no transfer starts any more, those under way are stopped, and what was fetched ahead for
// nothing is deleted, but for the parts DropsUnhandledFetch keeps (none when the disk is full).
bool RunUpdate(const std::wstring& launcherFolder,
               const std::vector<std::string>& serverRoots,
               const UpdateOperations& operations);
