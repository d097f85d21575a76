// search: every hit of one or more keywords in a volume (with the file that
// holds it) or, with --raw, in a whole source.
#include <cstdio>
#include <optional>

#include "cli/cli.h"
#include "cli/volume_arg.h"
#include "common/text_format.h"
#include "disk/filled_ranges.h"
#include "fs/file_tree.h"
#include "search/hit_place.h"
#include "search/keyword.h"
#include "search/keyword_search.h"

namespace delvora::cli {
namespace {

constexpr const char* kUsageText =
    "search SOURCE [-p N | --start S --type T | --raw] --keyword TEXT... [--kind ascii|unicode|hex]...\n"
    "      [--from SECTOR] [--to SECTOR] [--json]";
constexpr const char* kRangeError = "搜索范围设置错误!";
constexpr const char* kNotRun = "the search did not run: the range holds no cluster";
constexpr const char* kNoBytes = "a keyword gives no bytes";
constexpr const char* kOutOfMemory = "the search ran out of memory";

bool KindOf(const std::string& text, uint32_t& type) {
    if (text == "ascii") type = kKeywordAscii;
    else if (text == "unicode") type = kKeywordUnicode;
    else if (text == "hex") type = kKeywordHex;
    else return false;
    return true;
}

// The keywords with their kinds: one --kind for all, or one per --keyword.
int ReadKeywords(const Args& args, std::vector<KeywordSpec>& keywords) {
    const std::vector<std::string> texts = args.Values("--keyword");
    const std::vector<std::string> kinds = args.Values("--kind");
    if (texts.empty()) return Fail(kUsage, "search needs at least one --keyword");
    if (kinds.size() > 1 && kinds.size() != texts.size())
        return Fail(kUsage, "give one --kind for all keywords or one per --keyword");
    for (size_t i = 0; i < texts.size(); ++i) {
        KeywordSpec spec{texts[i], kKeywordAscii};
        if (!kinds.empty() && !KindOf(kinds[kinds.size() == 1 ? 0 : i], spec.type))
            return Fail(kUsage, "--kind takes ascii, unicode or hex");
        keywords.push_back(std::move(spec));
    }
    return kOk;
}

// --from/--to as the search dialog takes them: absolute sectors, the start
// not before first, the count not beyond total.
int ReadRange(Env& env, const Args& args, uint64_t first, uint64_t total, uint64_t& start, uint64_t& count) {
    std::string error;
    uint64_t from = first, to = first + total;
    if (!args.Number("--from", from, error) || !args.Number("--to", to, error)) return Fail(kUsage, error);
    if (from < first || to < from || to - from > total) {
        env.notifier.Message(kRangeError, "提示", MessageIcon::Error);
        return kFailed;
    }
    start = from;
    count = to - from;
    return kOk;
}

// Each keyword turned into its bytes before anything is read, so a bad one
// is told by its own message ("关键字太长!", a broken \x escape ...).
int CheckKeywords(Env& env, const std::vector<KeywordSpec>& keywords) {
    for (const KeywordSpec& keyword : keywords) {
        std::vector<uint8_t> pattern;
        if (!KeywordToPattern(keyword.text, keyword.type, env.options.codepage, kPatternCapacity, pattern,
                              env.notifier))
            return kFailed;
        if (pattern.empty()) return Fail(kFailed, std::string(kNoBytes) + ": " + keyword.text);
    }
    return kOk;
}

// Prints hits a batch at a time as the search places them. volume: the
// searched volume, whose files the hits' file offsets are taken in (null
// for a raw search).
class HitPrinter {
public:
    HitPrinter(const Env& env, const std::vector<KeywordSpec>& keywords, Volume* volume)
        : m_env(env), m_keywords(keywords) {
        if (volume) m_placer.emplace(*volume);
    }
    bool Print(const std::vector<KeywordHit>& hits);
    /// The closing record: how many sectors could not be read, and where.
    void Close(const ByteRangeSet& filled);

private:
    const Env& m_env;
    const std::vector<KeywordSpec>& m_keywords;
    std::optional<HitPlacer> m_placer;
};

void HitPrinter::Close(const ByteRangeSet& filled) {
    if (filled.Empty()) return;
    std::string ranges;
    uint64_t sectors = 0;
    for (const ByteRange& range : filled.Ranges()) {
        const uint64_t first = range.first / 512, last = range.last / 512;
        sectors += last - first + 1;
        if (m_env.json) ranges += Format("%s\"%llu-%llu\"", ranges.empty() ? "" : ",",
                                         static_cast<unsigned long long>(first), static_cast<unsigned long long>(last));
        else ranges += Format("%s%llu-%llu", ranges.empty() ? "" : ";", static_cast<unsigned long long>(first),
                              static_cast<unsigned long long>(last));
    }
    if (m_env.json)
        std::printf("{\"unreadableSectors\":%llu,\"ranges\":[%s]}\n", static_cast<unsigned long long>(sectors),
                    ranges.c_str());
    else
        std::fprintf(stderr, "%llu sectors could not be read, searched as zeros: %s\n",
                     static_cast<unsigned long long>(sectors), ranges.c_str());
}

bool HitPrinter::Print(const std::vector<KeywordHit>& hits) {
    const Env& env = m_env;
    const std::vector<KeywordSpec>& keywords = m_keywords;
    std::optional<HitPlacer>& placer = m_placer;
    std::string out;
    auto flush = [&] {
        std::fwrite(out.data(), 1, out.size(), stdout);
        out.clear();
    };
    for (const KeywordHit& hit : hits) {
        const std::string file = hit.file ? FullPath(*hit.file) : std::string();
        if (env.json) {
            out += "{\"keyword\":" + JsonString(keywords[hit.keyword].text) +
                   Format(",\"position\":%llu,\"offset\":%u,\"byteOffset\":%llu,\"hitText\":",
                          static_cast<unsigned long long>(hit.position), hit.offset,
                          static_cast<unsigned long long>(hit.byteOffset)) +
                   JsonString(hit.hitText) + ",\"file\":" + (hit.file ? JsonString(file) : std::string("null"));
            uint64_t fileOffset = 0;
            const bool placed = placer && hit.file && placer->Find(*hit.file, hit.byteOffset, fileOffset);
            out += ",\"fileOffset\":" + (placed ? std::to_string(fileOffset) : std::string("null")) + "}";
        } else {
            // With several keywords each line says which one it found.
            if (keywords.size() > 1) out += EscapeControls(keywords[hit.keyword].text) + "\t";
            out += Format("%llu\t%u\t%llu\t", static_cast<unsigned long long>(hit.position), hit.offset,
                          static_cast<unsigned long long>(hit.byteOffset)) +
                   EscapeControls(hit.hitText) + "\t" + EscapeControls(file);
        }
        out.push_back('\n');
        if (out.size() > (1u << 20)) flush();
    }
    flush();
    return !std::ferror(stdout);
}

int SearchRaw(Env& env, const Args& args, const std::vector<KeywordSpec>& keywords) {
    for (const auto& option : kVolumeOptions)
        if (args.Value(option)) return Fail(kUsage, "--raw searches the whole source: no " + option);
    const std::string name = SourceName(env, args.Positional()[0]);
    DataSource source(env.context);
    source.SetPath(name);
    source.SetReportErrors(0);
    if (!source.Open()) return Fail(kFailed, "cannot open " + name + ": " + source.LastErrorText());
    uint64_t start = 0, count = 0;
    if (const int rc = ReadRange(env, args, 0, source.SizeBytes() / 512, start, count); rc != kOk) return rc;
    HitPrinter printer(env, keywords, nullptr);
    ByteRangeSet filled;
    bool outOfMemory = false;
    int ran = 0;
    {
        FillRecorder recorder(filled);
        ran = SearchSourceBatched(
            source, env.context, keywords, start, count, nullptr,
            [&](std::vector<KeywordHit>& batch) { return printer.Print(batch); }, &outOfMemory);
    }
    if (outOfMemory) return Fail(kFailed, kOutOfMemory);
    if (!ran) return Fail(kFailed, kNotRun);
    printer.Close(filled);
    return std::fflush(stdout) == 0 ? kOk : kFailed;
}

int Search(Env& env, const Args& args) {
    if (args.Positional().size() != 1) return Fail(kUsage, std::string("usage: delvora-cli ") + kUsageText);
    std::vector<KeywordSpec> keywords;
    if (const int rc = ReadKeywords(args, keywords); rc != kOk) return rc;
    if (const int rc = CheckKeywords(env, keywords); rc != kOk) return rc;
    if (args.Flag("--raw")) return SearchRaw(env, args, keywords);

    OpenedVolume opened;
    if (const int rc = OpenVolumeArg(env, args, opened); rc != kOk) return rc;
    Volume& volume = *opened.volume;
    uint64_t start = 0, count = 0;
    if (const int rc = ReadRange(env, args, volume.StartSector(), volume.TotalSectors(), start, count); rc != kOk)
        return rc;
    HitPrinter printer(env, keywords, &volume);
    ByteRangeSet filled;
    bool outOfMemory = false;
    int ran = 0;
    {
        FillRecorder recorder(filled);
        ran = SearchKeywordBatched(
            volume, keywords, start, count, nullptr,
            [&](std::vector<KeywordHit>& batch) { return printer.Print(batch); }, &outOfMemory);
    }
    if (outOfMemory) return Fail(kFailed, kOutOfMemory);
    if (!ran) return Fail(kFailed, kNotRun);
    printer.Close(filled);
    return std::fflush(stdout) == 0 ? kOk : kFailed;
}

const bool kRegistered = RegisterCommand(
    {"search", kUsageText,
     "find every occurrence of keywords (text, UTF-16 or hexadecimal escapes) in a volume, naming the file "
     "that holds each, or in a whole source with --raw",
     WithVolumeOptions({"--keyword", "--kind", "--from", "--to"}), {"--raw"}, &Search});

}  // namespace
}  // namespace delvora::cli
