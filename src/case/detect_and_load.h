#pragma once
// Turns a data item with an open source into a loaded volume: classification
// by the partition type byte, the volume's boot sector and tables, then the
// tree - on the worker thread for a local source, inline for a remote one.
#include <cstdint>
#include <string>

#include "case/case_workspace.h"
#include "case/data_item.h"
#include "case/open_volume.h"
#include "common/translation.h"
#include "fs/volume.h"

namespace delvora {

inline constexpr const char* kLoadingStopMessage = TrNoop("DetectAndLoad", "加载文件系统过程中暂时不能终止!");
inline constexpr const char* kTreeStopMessage = TrNoop("DetectAndLoad", "加载树视图过程中暂时不能终止!");
inline constexpr const char* kLoadingText = TrNoop("DetectAndLoad", "正在加载文件系统...");
inline constexpr const char* kTreeText = TrNoop("DetectAndLoad", "正在加载树视图...");
inline constexpr const char* kIdleProgressText = TrNoop("DetectAndLoad", "进度");

/// Classifies the item, builds its volume and opens it; appends the volume to
/// the item's volumes on success. For a local source the tree then loads on
/// the case's worker and busy is 1 when this answers; the item must stay
/// alive until that worker ended (append it to the case, or WaitForWorker).
/// Answers 1 or 0; type 0 fails without a word.
int DetectAndLoad(CaseWorkspace& workspace, DataItem& item);

/// The loading worker's protocol for a prepared volume of the item, run on
/// the calling thread: busy/stoppable states, progress texts, the tree load,
/// the tree-view event and the elapsed-time line.
void RunLoadingWorker(CaseWorkspace& workspace, DataItem& item, Volume& volume);

}  // namespace delvora
