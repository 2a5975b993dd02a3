#include "tools/filelist/file_list_tool.h"

#include <algorithm>
#include <chrono>

#include "tools/filelist/commands.h"
#include "tools/filelist/manifest_rules.h"

const char kManifestName[] = "filelist.txt";
const char kSignatureSuffix[] = ".sig";
const char kGzipSuffix[] = ".gz";

namespace {

const char kHelpText[] =
    "usage: vardenhal-filelist COMMAND ARGUMENTS\n"
    "\n"
    "Makes and checks filelist.txt, the update manifest that the Vardenhal launcher fetches from\n"
    "<server root>/updater/filelist.txt before it fetches the files below <server root>/updater/.\n"
    "\n"
    "commands:\n"
    "  make DIR [-o FILE [--sign KEYFILE [--sequence N]] [--gzip]]\n"
    "      Lists every file below DIR, the folder served as /updater/, as one \"path|md5\" line\n"
    "      each: paths relative to DIR with forward slashes, sorted, digests as 32 lower-case hex\n"
    "      digits, LF line ends, no byte-order mark. DIR/filelist.txt, its .sig and its .gz are\n"
    "      skipped.\n"
    "      Writes to standard output, or to FILE (written beside it, then renamed over it).\n"
    "      Refuses names a launcher would refuse or mangle, naming each, and then writes nothing:\n"
    "      '|', '\\', control characters, bytes above 0x7F, characters Windows forbids, names\n"
    "      ending in a space or a dot, ':', device names (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with\n"
    "      or without an extension), names that differ only in letter case, and anything that is\n"
    "      not a regular file. With --sign, also signs FILE as the sign command does. With\n"
    "      --gzip, also writes FILE.gz, FILE's bytes compressed with gzip (one list always gives\n"
    "      the same bytes), for a web server that sends it where gzip is taken (nginx:\n"
    "      gzip_static on;); it too is written beside, then renamed over.\n"
    "      With -o, also writes beside each listed file of 1 MiB or more its block map,\n"
    "      PATH.blockmap, made in the same read as its digest: a launcher that holds an older\n"
    "      version of the file fetches the map and then only the blocks it lacks. Each map is\n"
    "      written beside, then renamed over, before FILE, and only when its bytes change, so an\n"
    "      unchanged file's map keeps its date and ETag. To standard output make writes the list\n"
    "      alone and no map. *.blockmap files are never listed; one beside a file that is not\n"
    "      listed or is under 1 MiB is named on standard error (\"not used: ...\") and left for you\n"
    "      to delete.\n"
    "  keygen KEYFILE\n"
    "      Makes an update list signing key: writes the private key to KEYFILE (readable by its\n"
    "      owner only; an existing file is never overwritten) and prints the public key, the value\n"
    "      for -DVARDENHAL_MANIFEST_PUBLIC_KEY when building the launcher. Keep KEYFILE off the\n"
    "      update server: whoever holds it can sign lists that every launcher built with the\n"
    "      public key will trust.\n"
    "  sign MANIFEST -k KEYFILE [--sequence N]\n"
    "      Writes MANIFEST.sig, two lines: \"sequence N\" and \"signature BASE64\", the base64 of\n"
    "      the ECDSA P-256 signature (r then s, 32 bytes each) over SHA-256 of the line\n"
    "      \"VardenhalUpdateList\", the line N and MANIFEST's exact bytes (LF line ends). N, a\n"
    "      whole number from 1 to 9223372036854775807, numbers the release: give each a higher\n"
    "      one. It defaults to the current Unix time, which every later signing exceeds. Serve\n"
    "      MANIFEST.sig beside the manifest; sign again after every change to the manifest.\n"
    "  check MANIFEST [DIR] [--public-key KEY]\n"
    "      Reports, line by line, every problem a launcher would meet in MANIFEST: lines without\n"
    "      a '|' separator, digests that are not 32 lower-case hex digits (downloaded on every\n"
    "      run), spaces around a path or digest, carriage returns that do not end a line, a\n"
    "      byte-order mark, paths listed twice, refused paths. With DIR, the served folder, also\n"
    "      files listed but missing, digests that do not match the file, files present but not\n"
    "      listed, and block maps: each listed file of 1 MiB or more must have PATH.blockmap,\n"
    "      one that reads, names the listed digest and is the map make would write for the file\n"
    "      now (rebuilt in the read that checks the digest); a map beside a file that is not\n"
    "      listed or is under 1 MiB is reported as not used. With --public-key, also that\n"
    "      MANIFEST.sig signs MANIFEST for KEY; a good signature's sequence is printed as\n"
    "      \"MANIFEST: signed, sequence N\".\n"
    "  plan MANIFEST CLIENT_DIR\n"
    "      Shows what a launcher in the game client folder CLIENT_DIR would download, in\n"
    "      manifest order, and how many bytes, without downloading anything. Sizes are those of\n"
    "      the files beside MANIFEST, so keep it in the served folder. A file of 1 MiB or more\n"
    "      that CLIENT_DIR holds in another version, served with a block map that names the\n"
    "      listed digest, is shown \"as a delta: about N bytes\": the map and the blocks the\n"
    "      client's file lacks, found by searching it as a launcher would; the total counts\n"
    "      those bytes. Says where the launcher's run would stop early.\n"
    "  --help\n"
    "      Shows this text.\n"
    "\n"
    "A progress line appears on standard error during long runs when it is a terminal.\n"
    "\n"
    "exit status:\n"
    "  0  make: manifest written; check: no problem found; plan: the run would complete\n"
    "  1  make: names refused or no file found; check: problems found; plan: the run would stop\n"
    "  2  wrong arguments, a key that cannot be used, or a file or folder that cannot be read or\n"
    "     written\n";

}  // namespace

uint64_t CurrentUnixTime() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now).count();
    return seconds > 0 ? static_cast<uint64_t>(seconds) : 0;
}

std::string FormatProgress(uint64_t done, uint64_t total) {
    std::string text = std::to_string(done / kMebibyte) + " of " + std::to_string(total / kMebibyte) + " MiB";
    if (total > 0)
        text += " (" + std::to_string(std::min<uint64_t>(done, total) * 100 / total) + "%)";
    return text;
}

int RunFileListTool(const std::vector<std::string>& args,
                    const FileListOperations& operations,
                    std::ostream& out,
                    std::ostream& err) {
    if (args.empty())
        return ReportUsageError("missing command", err);
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        out << kHelpText;
        return kExitClean;
    }
    static const struct {
        const char* name;
        Command* run;
    } kCommands[] = {
        {"make", RunMake}, {"check", RunCheck}, {"plan", RunPlan}, {"keygen", RunKeygen}, {"sign", RunSign}};
    for (const auto& known : kCommands) {
        if (command == known.name)
            return known.run(args, operations, out, err);
    }
    return ReportUsageError("unknown command '" + EscapeForDisplay(command) + "'", err);
}
