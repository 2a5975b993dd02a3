// Where a run's update list comes from: the first root that answers it, or the copy kept from the
// last run when the server says it has not changed; in a signed build only with the operator's
// signature and a sequence no lower than the highest accepted before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "update/transfer/download_end.h"
#include "update/list/kept_list.h"

// One root's answer to a request for the list.
struct ListAnswer {
    enum class Kind {
        kList,         // a 200 with the whole list
        kNotModified,  // a 304 to a request that named the kept list's validator
        kUnreachable,  // no connection, a timeout, a 5xx or a 404: the next root is asked
        kRefused,      // any other answer: the run ends without a list
        kCancelled,
    };
    Kind kind = Kind::kUnreachable;
    std::string text;       // kList: the list, decoded
    std::string validator;  // kList: what a later request may name it by; "" when the answer named none
};

// What a transfer's end and the answer's status mean for a list.
ListAnswer::Kind ClassifyListEnd(BodyEnd end, unsigned long status);

enum class ListEnd { kList, kNoConnection, kNotSigned, kOlderThanInstalled, kCancelled };
struct FetchedList {
    ListEnd end = ListEnd::kNoConnection;
    std::string text;
    size_t root = 0;  // the index of the root it came from: its files are asked there first
};

// What fetching the list needs from the platform.
struct ListOperations {
    // The list at `address`; with a `validator` (the kept list's), only if it has changed since.
    std::function<ListAnswer(const std::string& address, const std::string& validator)> fetchList;
    // Signed builds only, both or neither: the signature file at `address` ("" when it cannot be
    // had), and whether it signs `list` under the operator's key, with the sequence it signs.
    // Unset, the list is taken as it comes and no signature is asked for.
    std::function<std::string(const std::string& address)> fetchSignatureFile;
    std::function<bool(const std::string& list, const std::string& signatureFile, uint64_t* sequence)>
        verifyListSignature;
    // The list kept from the last run: false when there is none, or it was damaged (it is gone
    // then); keeping a new one in its place; deleting it. Unset: nothing is kept.
    std::function<bool(KeptList* kept)> readKeptList;
    std::function<void(const KeptList& kept)> keepList;
    std::function<void()> dropKeptList;
    // Signed builds: the highest sequence accepted so far (0 before the first), and raising it.
    std::function<uint64_t()> readAcceptedSequence;
    std::function<void(uint64_t sequence)> writeAcceptedSequence;
};

// Asks the roots in turn, the kept list's root with its validator. A list from the server is
// kept for the next run once it has passed; a kept copy whose signature no longer passes is
// deleted and the list fetched whole from the same root. A signed list lower in sequence than
// the highest accepted writes nothing.
FetchedList FetchList(const ListOperations& operations, const std::vector<std::string>& roots);
