// carve: files cut out of a volume's sectors, its free space, or a whole
// source (any raw image; no file system needed), written to a folder.
#include <string>

#include "cli/carve_part.h"
#include "common/translation.h"
#include "cli/carve_run.h"
#include "cli/cli.h"
#include "cli/terminal_progress.h"
#include "disk/filled_ranges.h"

namespace delvora::cli {
namespace {

constexpr const char* kUsageText =
    "carve SOURCE [-p N | --start S --type T | --raw] [--free-only] [--html] [--doc]\n"
    "      [--types jpg,png,gif,bmp,tif,pdf,zip,docx,xlsx,pptx,odt,doc,xls,ppt,msg,mp4,mov,sqlite,rar,7z,html | --types all]\n"
    "      [--max-gap N] [--range FIRST-LAST [--part-file F]] --to DIR [--manifest F] [--hash sha256,md5,sha1] [--overwrite]";

int Carve(Env& env, const Args& args) {
    const auto target = args.Value("--to");
    const auto partFile = args.Value("--part-file");
    if (args.Positional().size() != 1 || (!partFile && (!target || target->empty())))
        return Fail(kUsage, std::string("usage: delvora-cli ") + kUsageText);
    if (partFile && (!args.Value("--range") || target))
        return Fail(kUsage, "--part-file keeps one part's findings for joining: it takes --range and no --to");
    CarveSetup setup;
    if (const int rc = PrepareCarve(env, args, setup); rc != kOk) return rc;
    // Reads during the scan that failed are counted for the closing line.
    ByteRangeSet scanFilled;
    {
        FillRecorder recorder(scanFilled);
        ProgressPhase phase(env.progress, Tr("TerminalProgress", kResidualText));
        if (!setup.region->ResidualSearch()) return Fail(kFailed, "carving failed (out of memory)");
    }
    if (partFile) {
        // What joining the parts needs; nothing is exported.
        CarvePart part;
        part.events = setup.region->CarveEvents();
        part.pages = setup.region->CarvedPages();
        part.files = setup.region->CarvedFiles();
        part.unreadable = scanFilled;
        std::string error;
        return WriteCarvePart(*partFile, part, error) ? kOk : Fail(kFailed, error);
    }
    return ExportCarved(env, args, setup, *target, args.Value("--manifest"), (scanFilled.TotalBytes() + 511) / 512);
}

const bool kRegistered = RegisterCommand(
    {"carve", kUsageText,
     "carve pictures, documents, archives, videos, databases and web pages out of a volume's sectors, its free "
     "space, or a whole source",
     WithVolumeOptions({"--to", "--manifest", "--hash", "--types", "--max-gap", "--range", "--part-file"}),
     {"--raw", "--html", "--doc", "--overwrite", "--free-only"}, &Carve});

}  // namespace
}  // namespace delvora::cli
