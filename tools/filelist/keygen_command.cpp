// keygen KEYFILE: a new signing key.
#include "tools/filelist/commands.h"
#include "tools/filelist/manifest_rules.h"
#include "update/list/manifest_signature.h"

int RunKeygen(const std::vector<std::string>& args,
              const FileListOperations& operations,
              std::ostream& out,
              std::ostream& err) {
    const ParsedArguments parsed = ParseArguments(args, {});
    if (!parsed.ok || parsed.positional.size() != 1)
        return ReportUsageError("keygen takes KEYFILE", err);
    const std::string& keyPath = parsed.positional[0];
    std::string keyFile;
    std::string point;
    if (!operations.generateKey(&keyFile, &point)) {
        err << "vardenhal-filelist: cannot make a key\n";
        return kExitError;
    }
    if (!operations.createPrivateFile(keyPath, keyFile)) {
        err << "vardenhal-filelist: cannot create " << EscapeForDisplay(keyPath)
            << " (an existing file is never overwritten)\n";
        return kExitError;
    }
    out << FormatManifestPublicKey(point) << "\n";
    err << "private key written to " << EscapeForDisplay(keyPath) << "; keep it off the update server\n"
        << "build the launcher with -DVARDENHAL_MANIFEST_PUBLIC_KEY= and the public key above\n";
    return kExitClean;
}
