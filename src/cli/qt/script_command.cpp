// script: runs a script against the Delvora object, headless (in the Qt module).
#include "cli/qt/script_command.h"

#include <QCoreApplication>
#include <QString>

#include <cstdio>
#include <fstream>
#include <memory>

#include "cli/cli.h"
#include "common/codepage.h"
#include "common/text_format.h"
#include "script/default_script.h"
#include "script/script_driver.h"
#include "script/script_run.h"

namespace delvora::cli {
namespace {

// Reads at most limit + 1 bytes, so that an oversized file is seen as such
// without being held whole.
bool ReadScript(const std::string& path, size_t limit, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text.resize(limit + 1);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad()) return false;
    text.resize(static_cast<size_t>(in.gcount()));
    return true;
}

void PrintList(const ResultList& list, bool json) {
    std::string out;
    if (json) {
        std::string columns = "[";
        for (size_t c = 0; c < list.Columns().size(); ++c) columns += (c ? "," : "") + JsonString(list.Columns()[c]);
        columns += "]";
        for (size_t r = 0; r < list.Rows().size(); ++r) {
            out += Format("{\"row\":%zu,\"columns\":%s,\"cells\":[", r, columns.c_str());
            const auto& row = list.Rows()[r];
            for (size_t c = 0; c < row.size(); ++c) out += (c ? "," : "") + JsonString(row[c]);
            out += "]}\n";
        }
    } else {
        // Cells are the script's own text: escaped, a tab cannot split a cell.
        auto line = [&out](const std::vector<std::string>& cells) {
            for (size_t c = 0; c < cells.size(); ++c) out += (c ? "\t" : "") + EscapeControls(cells[c]);
            out += '\n';
        };
        if (!list.Columns().empty()) line(list.Columns());
        for (const auto& row : list.Rows()) line(row);
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
}

}  // namespace

int RunScript(Env& env, const Args& args) {
    if (args.Flag("--default")) {
        if (!args.Positional().empty()) return Fail(kUsage, "usage: delvora-cli script --default");
        std::fputs(DefaultScriptText(), stdout);
        return std::fflush(stdout) == 0 ? kOk : kFailed;
    }
    if (args.Positional().size() != 1) return Fail(kUsage, "usage: delvora-cli script FILE.js [--timeout SECONDS]");
    uint64_t seconds = 0;
    std::string error;
    if (!args.Number("--timeout", seconds, error)) return Fail(kUsage, error);
    if (seconds > 1'000'000) return Fail(kUsage, "--timeout is at most 1000000 seconds");

    const std::string& path = args.Positional()[0];
    std::string text;
    if (!ReadScript(path, ScriptRunner::kMaxScriptBytes, text)) return Fail(kFailed, "cannot read " + path);
    // Scripts of old were saved in the examiner's code page.
    if (SanitizeUtf8(text) != text) text = ToUtf8(text, env.options.codepage);

    // The engine expects an application object; the command line has none.
    std::unique_ptr<QCoreApplication> app;
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "delvora-cli";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    ScriptDriver driver(env.context);
    ScriptRunner runner(driver, env.context);
    runner.SetTimeout(std::chrono::seconds(seconds));
    const bool bOk = runner.Run(QString::fromStdString(text));
    PrintList(driver.Snapshot(), env.json);
    if (std::fflush(stdout) != 0) return kFailed;
    return bOk ? kOk : Fail(kFailed, runner.Status());
}

}  // namespace delvora::cli
