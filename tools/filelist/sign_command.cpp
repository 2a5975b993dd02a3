// sign MANIFEST -k KEYFILE [--sequence N]: the signature file beside a manifest.
#include "tools/filelist/commands.h"
#include "tools/filelist/manifest_rules.h"
#include "update/list/manifest_signature.h"

int RunSign(const std::vector<std::string>& args,
            const FileListOperations& operations,
            std::ostream&,
            std::ostream& err) {
    const ParsedArguments parsed = ParseArguments(args, {"-k", "--sequence"});
    if (!parsed.ok || parsed.positional.size() != 1 || !parsed.Has("-k"))
        return ReportUsageError("sign takes MANIFEST -k KEYFILE [--sequence N]", err);
    uint64_t sequence = 0;
    if (!ReadSequenceOption(parsed, operations, &sequence))
        return ReportUsageError(kSequenceUsage, err);
    const std::string& manifestPath = parsed.positional[0];
    std::string manifest;
    std::string signatureFile;
    if (!ReadManifest(operations, manifestPath, &manifest, err) ||
        !SignBytes(operations, parsed.options.at("-k"), sequence, manifest, &signatureFile, err) ||
        !WriteSignatureFile(operations, manifestPath, signatureFile, err))
        return kExitError;
    err << "signed " << EscapeForDisplay(manifestPath) << ", sequence " << sequence << ": "
        << EscapeForDisplay(manifestPath + kSignatureSuffix) << "\n";
    return kExitClean;
}
