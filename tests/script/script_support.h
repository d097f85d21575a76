#pragma once
// Runs scripts against a driver wired to recorders and a device map.
#include <QString>

#include <string>
#include <vector>

#include "script/script_driver.h"
#include "script/script_run.h"
#include "support/recorders.h"

namespace delvora::test {

struct ScriptFixture {
    RecordingContext rc;
    ScriptDriver driver{rc.context};
    ScriptRunner runner{driver, rc.context};
    std::vector<std::string> statuses;

    ScriptFixture() {
        runner.SetStatusSink([this](const std::string& text) { statuses.push_back(text); });
    }
    bool Run(const std::string& text) { return runner.Run(QString::fromStdString(text)); }
    /// Runs body as a function and answers String() of what it returns, as
    /// the first cell of a one-row list (empty when the run failed).
    std::string Eval(const std::string& body) {
        const std::string text = "function main() { var r = (function () {\n" + body +
                                 "\n})(); Delvora.DeleteColumn(0); Delvora.InsertItem(0, String(r)); }\n" + kConstants;
        if (!Run(text)) return "<failed: " + runner.Status() + ">";
        return driver.Snapshot().GetItemText(0, 0);
    }
    static constexpr const char* kConstants =
        "var S_OK = 0, S_FALSE = 1, FILE_BEGIN = 1, FILE_CURRENT = 2, FILE_END = 4, FILE_READ = 1,"
        " FILE_WRITE = 2, FILE_READWRITE = 4, FILE_CREATE = 8, FILE_NOTRUNCATE = 0x16, FILE_NOINHERIT = 0x32;\n";
};

}  // namespace delvora::test
