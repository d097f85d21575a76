// search: every hit of one or more keywords in a volume (with the file that
// holds it) or, with --raw, in a whole source.
#include <cstdio>
#include <optional>

#include "cli/cli.h"
#include "cli/range_arg.h"
#include "cli/search_case.h"
#include "cli/volume_arg.h"
#include "common/text_format.h"
#include "common/translation.h"
#include "disk/filled_ranges.h"
#include "fs/file_tree.h"
#include "search/hit_place.h"
#include "search/keyword.h"
#include "search/hit_csv.h"
#include "search/keyword_list.h"
#include "search/keyword_search.h"
#include "search/search_terms.h"
#include "search/term_matcher.h"

namespace delvora::cli {
namespace {

constexpr const char* kUsageText =
    "search SOURCE [-p N | --start S --type T | --raw] --keyword TEXT... [--kind ascii|unicode|hex|regex]...\n"
    "      [--keywords-file F] [--ignore-case] [--encodings gbk,utf8,utf16le,utf16be] [--max-match BYTES]\n"
    "      [--from SECTOR] [--to SECTOR] [--range FIRST-LAST] [--json | --csv] [--case CASE.wsh]";
constexpr const char* kRangeError = TrNoop("CmdSearch", "搜索范围设置错误!");
constexpr const char* kNotRun = "the search did not run: the range holds no cluster";
constexpr const char* kNoBytes = "a keyword gives no bytes";
constexpr const char* kOutOfMemory = "the search ran out of memory";

constexpr const char* kKindError = "--kind takes ascii, unicode, hex or regex";

// --ignore-case, --encodings and --max-match: the same for every keyword.
int ReadSearchOptions(const Args& args, KeywordSpec& base) {
    base.ignoreCase = args.Flag("--ignore-case");
    if (const auto encodings = args.Value("--encodings"); encodings && !ParseEncodings(*encodings, base.encodings))
        return Fail(kUsage, "--encodings takes a comma-separated list of gbk, utf8, utf16le, utf16be");
    uint64_t maxMatch = kDefaultMaxMatch;
    std::string error;
    if (!args.Number("--max-match", maxMatch, error)) return Fail(kUsage, error);
    if (maxMatch == 0 || maxMatch > kMaxMatchLimit)
        return Fail(kUsage, Format("--max-match takes 1 to %u bytes", kMaxMatchLimit));
    base.maxMatch = static_cast<uint32_t>(maxMatch);
    return kOk;
}

bool KindOf(const std::string& text, uint32_t& type) {
    if (text == "ascii") type = kKeywordAscii;
    else if (text == "unicode") type = kKeywordUnicode;
    else if (text == "hex") type = kKeywordHex;
    else if (text == "regex") type = kKeywordRegex;
    else return false;
    return true;
}

// The keywords with their kinds: one --kind for all, or one per --keyword;
// a keyword list's lines without a prefix take the one --kind.
int ReadKeywords(const Args& args, std::vector<KeywordSpec>& keywords) {
    const std::vector<std::string> texts = args.Values("--keyword");
    const std::vector<std::string> kinds = args.Values("--kind");
    const std::optional<std::string> list = args.Value("--keywords-file");
    if (texts.empty() && !list) return Fail(kUsage, "search needs at least one --keyword or a --keywords-file");
    if (kinds.size() > 1 && kinds.size() != texts.size())
        return Fail(kUsage, "give one --kind for all keywords or one per --keyword");
    KeywordSpec base;
    if (const int rc = ReadSearchOptions(args, base); rc != kOk) return rc;
    if (kinds.size() == 1 && !KindOf(kinds[0], base.type)) return Fail(kUsage, kKindError);
    for (size_t i = 0; i < texts.size(); ++i) {
        KeywordSpec spec = base;
        spec.text = texts[i];
        if (kinds.size() > 1 && !KindOf(kinds[i], spec.type)) return Fail(kUsage, kKindError);
        keywords.push_back(std::move(spec));
    }
    if (list) {
        std::string error;
        if (!ReadKeywordList(*list, base, keywords, error)) return Fail(kFailed, error);
        if (keywords.size() > kKeywordListLimit)
            return Fail(kFailed, Format(Tr("CmdSearch", "一次最多查找 %zu 个关键字"), kKeywordListLimit));
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
        env.notifier.Message(Tr("CmdSearch", kRangeError), "提示", MessageIcon::Error);
        return kFailed;
    }
    start = from;
    count = to - from;
    return kOk;
}

// Each keyword turned into its terms and compiled before anything is read,
// so a bad one is told by its own message ("关键字太长!", a broken \x
// escape, the place where an expression cannot be used ...).
int CheckKeywords(Env& env, const std::vector<KeywordSpec>& keywords) {
    // Passes messages on and notes that one was given.
    struct Told final : Notifier {
        Notifier& to;
        bool told = false;
        explicit Told(Notifier& notifier) : to(notifier) {}
        void Message(std::string_view text, std::string_view caption, MessageIcon icon) override {
            told = true;
            to.Message(text, caption, icon);
        }
        bool Confirm(std::string_view text, std::string_view caption) override { return to.Confirm(text, caption); }
    } told(env.notifier);
    std::vector<SearchTerm> terms;
    for (const KeywordSpec& keyword : keywords)
        if (!ExpandKeywords({keyword}, env.options.codepage, terms, told))
            return told.told ? kFailed : Fail(kFailed, std::string(kNoBytes) + ": " + keyword.text);
    TermMatcher matcher;
    std::string error;
    if (!matcher.Prepare(std::move(terms), error)) return Fail(kFailed, error.empty() ? kNoBytes : error);
    return kOk;
}

// Prints hits a batch at a time as the search places them. volume: the
// searched volume, whose files the hits' file offsets are taken in (null
// for a raw search).
class HitPrinter {
public:
    HitPrinter(const Env& env, const std::vector<KeywordSpec>& keywords, Volume* volume, bool csv)
        : m_env(env), m_keywords(keywords), m_bCsv(csv) {
        if (volume) {
            m_placer.emplace(*volume);
            m_nOrigin = volume->StartSector() * 512;
        }
        // Which encoding matched is worth a column once there can be several.
        for (const KeywordSpec& keyword : keywords) m_bEncodings = m_bEncodings || keyword.encodings != 0;
        if (csv) std::fputs(HitCsvHeader(), stdout);
    }
    bool Print(const std::vector<KeywordHit>& hits);
    /// The closing record: how many sectors could not be read, and where.
    void Close(const ByteRangeSet& filled);

private:
    const Env& m_env;
    const std::vector<KeywordSpec>& m_keywords;
    std::optional<HitPlacer> m_placer;
    bool m_bCsv = false;
    bool m_bEncodings = false;
    uint64_t m_nOrigin = 0;  // CSV sectors count from the volume's start (the source's for --raw)
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
        if (out.empty()) return;
        // On one terminal with standard error, hits start on a clean line.
        ClearTerminalLine();
        std::fwrite(out.data(), 1, out.size(), stdout);
        out.clear();
    };
    for (const KeywordHit& hit : hits) {
        const std::string file = hit.file ? FullPath(*hit.file) : std::string();
        if (m_bCsv) {
            HitCsvRow row;
            row.keyword = keywords[hit.keyword].text;
            row.encoding = hit.encoding;
            row.sector = (hit.byteOffset - m_nOrigin) / 512;
            row.offset = static_cast<uint32_t>((hit.byteOffset - m_nOrigin) % 512);
            row.byteOffset = hit.byteOffset;
            row.filePath = file;
            row.hasFileOffset = placer && hit.file && placer->Find(*hit.file, hit.byteOffset, row.fileOffset);
            row.context = hit.hitText;
            AppendHitCsv(out, row);
            if (out.size() > (1u << 20)) flush();
            continue;
        }
        if (env.json) {
            out += "{\"keyword\":" + JsonString(keywords[hit.keyword].text) +
                   Format(",\"position\":%llu,\"offset\":%u,\"byteOffset\":%llu,\"hitText\":",
                          static_cast<unsigned long long>(hit.position), hit.offset,
                          static_cast<unsigned long long>(hit.byteOffset)) +
                   JsonString(hit.hitText) + ",\"file\":" + (hit.file ? JsonString(file) : std::string("null"));
            uint64_t fileOffset = 0;
            const bool placed = placer && hit.file && placer->Find(*hit.file, hit.byteOffset, fileOffset);
            out += ",\"fileOffset\":" + (placed ? std::to_string(fileOffset) : std::string("null")) +
                   ",\"encoding\":" + JsonString(hit.encoding) + Format(",\"length\":%u}", hit.length);
        } else {
            // With several keywords each line says which one it found.
            if (keywords.size() > 1) out += EscapeControls(keywords[hit.keyword].text) + "\t";
            if (m_bEncodings) out += hit.encoding + "\t";
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
    if (args.Value("--case")) return Fail(kUsage, "--case keeps the hits of a volume: not with --raw");
    for (const auto& option : kVolumeOptions)
        if (args.Value(option)) return Fail(kUsage, "--raw searches the whole source: no " + option);
    // A remote source (nbd://) is searched as a local one.
    SourceArg arg;
    if (const int rc = ResolveSourceArg(env, args.Positional()[0], arg); rc != kOk) return rc;
    DataSource source(env.context);
    if (!OpenSourceArg(arg, source))
        return Fail(kFailed, "cannot open " + args.Positional()[0] + ": " + source.LastErrorText());
    uint64_t start = 0, count = 0;
    if (const int rc = ReadRange(env, args, 0, source.SizeBytes() / 512, start, count); rc != kOk) return rc;
    std::optional<SectorRange> range;
    if (const int rc = ReadRangeArg(args, start, start + count, range); rc != kOk) return rc;
    const SearchPart part = range ? SearchPart{range->first, range->end} : SearchPart{};
    HitPrinter printer(env, keywords, nullptr, args.Flag("--csv"));
    ByteRangeSet filled;
    bool outOfMemory = false;
    int ran = 0;
    {
        FillRecorder recorder(filled);
        ran = SearchSourceBatched(
            source, env.context, keywords, start, count, nullptr,
            [&](std::vector<KeywordHit>& batch) { return printer.Print(batch); }, &outOfMemory, part);
    }
    if (outOfMemory) return Fail(kFailed, kOutOfMemory);
    if (!ran) return Fail(kFailed, kNotRun);
    printer.Close(filled);
    return std::fflush(stdout) == 0 ? kOk : kFailed;
}

int Search(Env& env, const Args& args) {
    if (args.Positional().size() != 1) return Fail(kUsage, std::string("usage: delvora-cli ") + kUsageText);
    if (args.Flag("--csv") && env.json) return Fail(kUsage, "--csv and --json exclude each other");
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
    std::optional<SectorRange> range;
    if (const int rc = ReadRangeArg(args, start, start + count, range); rc != kOk) return rc;
    const SearchPart part = range ? SearchPart{range->first, range->end} : SearchPart{};
    if (const auto casePath = args.Value("--case")) {
        if (range) return Fail(kUsage, "--case keeps a whole search: not with --range");
        std::vector<KeywordHit> hits;
        return SearchIntoCase(env, *casePath, opened, keywords, start, count, hits, [&](Volume& searched) {
            HitPrinter printer(env, keywords, &searched, args.Flag("--csv"));
            return printer.Print(hits) && std::fflush(stdout) == 0 ? kOk : kFailed;
        });
    }
    HitPrinter printer(env, keywords, &volume, args.Flag("--csv"));
    ByteRangeSet filled;
    bool outOfMemory = false;
    int ran = 0;
    {
        FillRecorder recorder(filled);
        ran = SearchKeywordBatched(
            volume, keywords, start, count, nullptr,
            [&](std::vector<KeywordHit>& batch) { return printer.Print(batch); }, &outOfMemory, part);
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
     WithVolumeOptions({"--keyword", "--kind", "--from", "--to", "--keywords-file", "--encodings", "--max-match",
                        "--case", "--range"}),
     {"--raw", "--ignore-case", "--csv"}, &Search});

}  // namespace
}  // namespace delvora::cli
