#include "common/reporting.h"

#include "common/options.h"
#include "common/translation.h"

namespace delvora {

std::string_view ShownCaption(std::string_view caption) {
    return caption == "提示" ? std::string_view(Tr("Notifier", "提示")) : caption;
}
namespace {

NullNotifier g_nullNotifier;
NullLog g_nullLog;
NullProgress g_nullProgress;

}  // namespace

Notifier& CoreContext::Notify() const { return notifier ? *notifier : g_nullNotifier; }
Log& CoreContext::Logger() const { return log ? *log : g_nullLog; }
Progress& CoreContext::Prog() const { return progress ? *progress : g_nullProgress; }

AnalysisOptions& CoreContext::Options() const {
    // Per-thread fallback so that code without a front end never shares
    // mutable options across threads.
    thread_local AnalysisOptions s_defaults;
    return options ? *options : s_defaults;
}

const CoreContext& DefaultContext() {
    static const CoreContext s_context{};
    return s_context;
}

}  // namespace delvora
