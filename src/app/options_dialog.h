#pragma once
// The options page: how volumes are analysed and folders exported. Applying
// replaces the case's options record; every later load, search and export
// uses it. The record is also kept between runs.
#include <QDialog>
#include <utility>
#include <vector>

#include "common/options.h"

class QComboBox;
class QSettings;
class QTreeWidgetItem;

namespace delvora {

class HashSetPage;
class PropertyGrid;

class OptionsDialog : public QDialog {
    Q_OBJECT
public:
    OptionsDialog(AnalysisOptions& options, QSettings* settings, QWidget* parent = nullptr);

    /// Reads the rows back into the record (and keeps it in the settings).
    void Apply();
    /// Shows the values every run starts from; Apply then takes them.
    void ShowDefaults();
    PropertyGrid* Grid() const { return m_pGrid; }
    HashSetPage* HashSets() const { return m_pHashSets; }

private:
    void Show(const AnalysisOptions& options);

    AnalysisOptions& m_options;
    QSettings* m_pSettings;
    PropertyGrid* m_pGrid;
    HashSetPage* m_pHashSets = nullptr;
    // The rows in the order of the record's fields they show.
    QTreeWidgetItem* m_pLoaded = nullptr;
    QTreeWidgetItem* m_pZeroTime = nullptr;
    QTreeWidgetItem* m_pZeroDate = nullptr;
    QTreeWidgetItem* m_pNotParent = nullptr;
    QTreeWidgetItem* m_pHtml = nullptr;
    QTreeWidgetItem* m_pDoc = nullptr;
    // The carver's other types, each with its carve_type bit.
    std::vector<std::pair<QTreeWidgetItem*, unsigned>> m_typeRows;
    QTreeWidgetItem* m_pFreeOnly = nullptr;
    QTreeWidgetItem* m_pVerify = nullptr;
    QTreeWidgetItem* m_pSkipAllocated = nullptr;
    QTreeWidgetItem* m_pAutoName = nullptr;
    QTreeWidgetItem* m_pExtensions = nullptr;
    QTreeWidgetItem* m_pPrefixes = nullptr;
    QComboBox* m_pLanguage = nullptr;  // the language of the next start
};

/// The options kept by an earlier run over the record, when there are any.
void LoadOptions(QSettings& settings, AnalysisOptions& options);
void SaveOptions(QSettings& settings, const AnalysisOptions& options);

/// The language chosen on the options page: "zh", "en", or empty for the
/// locale's (the programs' rule when --lang is not given).
QString SavedLanguage(QSettings& settings);
void SaveLanguage(QSettings& settings, const QString& language);

}  // namespace delvora
