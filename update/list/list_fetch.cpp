#include "update/list/list_fetch.h"

#include <new>
#include <utility>

#include "update/local/entry_paths.h"

ListAnswer::Kind ClassifyListEnd(BodyEnd end, unsigned long status) {
    switch (end) {
        case BodyEnd::kCancelled:
            return ListAnswer::Kind::kCancelled;
        case BodyEnd::kWhole:
            return status == 304 ? ListAnswer::Kind::kNotModified : ListAnswer::Kind::kList;
        case BodyEnd::kFailed:
            // A mirror that has no list yet, or has lost it, is passed over like one that is down.
            return status == 404 ? ListAnswer::Kind::kUnreachable : ListAnswer::Kind::kRefused;
        default:
            return ListAnswer::Kind::kUnreachable;
    }
}

namespace {

enum class Checked { kGood, kNotSigned, kOlder };

// A signed build's check of a list: its signature, then its sequence against the highest
// accepted, which it raises.
Checked CheckSignedList(const ListOperations& operations, const std::string& text, const std::string& signatureFile) {
    uint64_t sequence = 0;
    if (!operations.verifyListSignature(text, signatureFile, &sequence))
        return Checked::kNotSigned;
    const uint64_t accepted = operations.readAcceptedSequence ? operations.readAcceptedSequence() : 0;
    if (sequence < accepted)
        return Checked::kOlder;
    if (sequence > accepted && operations.writeAcceptedSequence)
        operations.writeAcceptedSequence(sequence);
    return Checked::kGood;
}

}  // namespace

FetchedList FetchList(const ListOperations& operations, const std::vector<std::string>& roots) {
    FetchedList fetched;
    try {
        KeptList kept;
        bool haveKept = operations.readKeptList && operations.readKeptList(&kept);
        const bool signedBuild = static_cast<bool>(operations.verifyListSignature);
        for (size_t index = 0; index < roots.size();) {
            const std::string address = BuildManifestAddress(roots[index]);
            const bool askKept = haveKept && kept.root == roots[index];
            ListAnswer answer = operations.fetchList(address, askKept ? kept.validator : std::string());
            // An empty list is a server mid-way through an update, or broken: not a list of nothing.
            if ((answer.kind == ListAnswer::Kind::kNotModified && !askKept) ||
                (answer.kind == ListAnswer::Kind::kList && answer.text.empty()))
                answer.kind = ListAnswer::Kind::kUnreachable;
            if (answer.kind == ListAnswer::Kind::kCancelled) {
                fetched.end = ListEnd::kCancelled;
                return fetched;
            }
            if (answer.kind == ListAnswer::Kind::kRefused)
                return fetched;
            if (answer.kind == ListAnswer::Kind::kUnreachable) {
                ++index;
                continue;
            }
            const bool fromKept = answer.kind == ListAnswer::Kind::kNotModified;
            std::string text = fromKept ? std::move(kept.text) : std::move(answer.text);
            std::string signatureFile;
            if (signedBuild) {
                // The list and its signature come from the same root.
                signatureFile = fromKept ? kept.signatureFile : operations.fetchSignatureFile(address + ".sig");
                const Checked checked = CheckSignedList(operations, text, signatureFile);
                if (checked == Checked::kOlder) {
                    fetched.end = ListEnd::kOlderThanInstalled;
                    return fetched;
                }
                if (checked == Checked::kNotSigned && !fromKept) {
                    fetched.end = ListEnd::kNotSigned;
                    return fetched;
                }
                if (checked == Checked::kNotSigned) {
                    // The kept copy no longer passes: it goes, and this root is asked for the list whole.
                    if (operations.dropKeptList)
                        operations.dropKeptList();
                    haveKept = false;
                    continue;
                }
            }
            if (!fromKept && operations.keepList) {
                if (!answer.validator.empty())
                    operations.keepList(KeptList{roots[index], answer.validator, text, signatureFile});
                else if (haveKept && operations.dropKeptList)
                    operations.dropKeptList();  // its validator could name a version long gone
            }
            fetched.end = ListEnd::kList;
            fetched.text = std::move(text);
            fetched.root = index;
            return fetched;
        }
    } catch (const std::bad_alloc&) {
        fetched = FetchedList();
    }
    return fetched;
}
