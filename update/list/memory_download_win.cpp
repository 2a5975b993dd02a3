#include "update/list/memory_download_win.h"

#include <windows.h>

#include "update/transfer/download_end.h"
#include "update/transfer/http_response.h"

namespace {

constexpr DWORD kMemoryBlockLength = 8192;

// A body into memory, within limits.maxManifestBytes; `validator` gets what the answer names it by.
BodyEnd TransferToMemory(const std::string& address,
                         const RequestOptions& ask,
                         const TransferLimits& limits,
                         const TransferSession& session,
                         const std::atomic<bool>* cancel,
                         std::string* body,
                         std::string* validator,
                         unsigned long* status) {
    BodySink sink;
    sink.onAnswer = [&](const Answer& answer) {
        if (answer.length > static_cast<int64_t>(limits.maxManifestBytes))
            return false;
        *validator = answer.validator;
        // Room for all of it at once when its length is known. A compressed body's is not: it
        // grows, within the limit, as it arrives, and no start reserves the limit for a megabyte.
        if (answer.length > 0)
            body->reserve(static_cast<size_t>(answer.length));
        return true;
    };
    sink.onBlock = [&](const char* bytes, DWORD length) {
        return AppendWithinLimit(body, bytes, length, limits.maxManifestBytes);
    };
    return Transfer(session, TransferOrder{address, kMemoryBlockLength, limits, ask, TransferStop{cancel, nullptr}},
                    sink, status);
}

}  // namespace

std::string DownloadToString(const std::string& address,
                             const TransferLimits& limits,
                             const TransferSession& session,
                             const std::atomic<bool>* cancel) {
    std::string body;
    std::string validator;
    // A shortened manifest would look like a shorter list of files: refuse it whole.
    return TransferToMemory(address, RequestOptions(), limits, session, cancel, &body, &validator, nullptr) ==
                   BodyEnd::kWhole
               ? body
               : std::string();
}

ListAnswer DownloadList(const std::string& address,
                        const std::string& unlessStill,
                        const TransferLimits& limits,
                        const TransferSession& session,
                        const std::atomic<bool>* cancel) {
    RequestOptions ask;
    ask.unlessStill = unlessStill;
    ask.acceptGzip = true;
    ListAnswer list;
    unsigned long status = 0;
    const BodyEnd end = TransferToMemory(address, ask, limits, session, cancel, &list.text, &list.validator, &status);
    list.kind = ClassifyListEnd(end, status);
    if (list.kind != ListAnswer::Kind::kList) {
        list.text = std::string();
        list.validator.clear();
    }
    return list;
}
