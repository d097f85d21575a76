#pragma once
// Turns the case's events, which may come from the worker, into signals that
// reach the windows on the UI thread. The worker never waits for the UI.
#include <QObject>

#include "case/case_workspace.h"

namespace delvora {

class CaseEventRelay final : public QObject, public CaseEvents {
    Q_OBJECT
public:
    explicit CaseEventRelay(QObject* parent = nullptr) : QObject(parent) {}

    void BuildCaseTree(DataItem& item) override { emit BuildTreeRequested(&item); }
    void RebuildCaseTree() override { emit RebuildTreeRequested(); }
    void Refresh() override { emit RefreshRequested(); }
    void ShowFilesChanged() override { emit RebuildTreeRequested(); }

signals:
    /// The item may be gone when this arrives; receivers look it up in the case.
    void BuildTreeRequested(delvora::DataItem* item);
    void RebuildTreeRequested();
    void RefreshRequested();
};

}  // namespace delvora
