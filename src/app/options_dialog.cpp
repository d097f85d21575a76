#include "app/options_dialog.h"

#include <QCoreApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "app/hash_set_page.h"
#include "hashset/hash_set_store.h"
#include "ui/qt_text.h"
#include "recovery/carve_format.h"
#include "recovery/export_filter.h"
#include "views/property_grid.h"

namespace delvora {
namespace {

constexpr const char* kGroup = "options";

}  // namespace

void LoadOptions(QSettings& settings, AnalysisOptions& options) {
    settings.beginGroup(QString::fromLatin1(kGroup));
    for (const OptionFlag& flag : OptionFlags())
        if (settings.contains(QString::fromLatin1(flag.key)))
            options.*flag.field = settings.value(QString::fromLatin1(flag.key)).toBool() ? 1 : 0;
    if (settings.contains(QStringLiteral("carveTypes")))
        options.carveTypes = settings.value(QStringLiteral("carveTypes")).toUInt() & carve_type::kAll;
    if (settings.contains(QStringLiteral("excludedExtensions")))
        options.excludedExtensions =
            ParseExtensionText(settings.value(QStringLiteral("excludedExtensions")).toString().toStdString());
    if (settings.contains(QStringLiteral("ignoredNamePrefixes")))
        options.ignoredNamePrefixes =
            ParsePrefixText(settings.value(QStringLiteral("ignoredNamePrefixes")).toString().toStdString());
    settings.endGroup();
}

void SaveOptions(QSettings& settings, const AnalysisOptions& options) {
    settings.beginGroup(QString::fromLatin1(kGroup));
    for (const OptionFlag& flag : OptionFlags()) settings.setValue(QString::fromLatin1(flag.key), options.*flag.field != 0);
    settings.setValue(QStringLiteral("carveTypes"), options.carveTypes);
    settings.setValue(QStringLiteral("excludedExtensions"), FromUtf8(FormatExtensionText(options.excludedExtensions)));
    settings.setValue(QStringLiteral("ignoredNamePrefixes"), FromUtf8(FormatPrefixText(options.ignoredNamePrefixes)));
    settings.endGroup();
}

QString SavedLanguage(QSettings& settings) {
    const QString word = settings.value(QStringLiteral("language")).toString();
    return word == QLatin1String("zh") || word == QLatin1String("en") ? word : QString();
}

void SaveLanguage(QSettings& settings, const QString& language) {
    settings.setValue(QStringLiteral("language"), language.isEmpty() ? QStringLiteral("auto") : language);
}

OptionsDialog::OptionsDialog(AnalysisOptions& options, QSettings* settings, QWidget* parent)
    : QDialog(parent), m_options(options), m_pSettings(settings), m_pGrid(new PropertyGrid(this)) {
    setObjectName(QStringLiteral("optionsDialog"));
    setWindowTitle(QCoreApplication::translate("OptionsDialog", "选项"));
    QTreeWidgetItem* analyse = m_pGrid->AddGroup(QCoreApplication::translate("OptionsDialog", "分析卷"));
    m_pLoaded = m_pGrid->AddCheck(analyse, QCoreApplication::translate("OptionsDialog", "文件"), QCoreApplication::translate("OptionsDialog", "搜索已加载的文件"), false);
    m_pZeroTime = m_pGrid->AddCheck(analyse, QCoreApplication::translate("OptionsDialog", "时间"), QCoreApplication::translate("OptionsDialog", "忽略时间为 00:00:00"), false);
    m_pZeroDate = m_pGrid->AddCheck(analyse, QCoreApplication::translate("OptionsDialog", "日期"), QCoreApplication::translate("OptionsDialog", "忽略日期为 1980-01-01"), false);
    m_pNotParent = m_pGrid->AddCheck(analyse, QCoreApplication::translate("OptionsDialog", "文件夹"), QCoreApplication::translate("OptionsDialog", "忽略簇首不指向父文件夹"), false);
    m_pHtml = m_pGrid->AddCheck(analyse, QCoreApplication::translate("OptionsDialog", "HTML文件"), QCoreApplication::translate("OptionsDialog", "搜索HTML文件"), false);
    m_pDoc = m_pGrid->AddCheck(analyse, QCoreApplication::translate("OptionsDialog", "DOC文件"), QCoreApplication::translate("OptionsDialog", "搜索DOC文件"), false);
    // The other carved types follow the two that were always there.
    for (const CarveTypeKey& type : CarveTypeKeys()) {
        if (type.bit == carve_type::kHtml || type.bit == carve_type::kDoc) continue;
        const QString name = QString::fromLatin1(type.key).toUpper();
        m_typeRows.emplace_back(m_pGrid->AddCheck(analyse, QCoreApplication::translate("OptionsDialog", "%1文件").arg(name),
                                                  QCoreApplication::translate("OptionsDialog", "搜索%1文件").arg(name), false),
                                type.bit);
    }
    m_pFreeOnly = m_pGrid->AddCheck(analyse, QCoreApplication::translate("OptionsDialog", "空闲簇"), QCoreApplication::translate("OptionsDialog", "只在空闲簇中搜索文件"), false);
    QTreeWidgetItem* load = m_pGrid->AddGroup(QCoreApplication::translate("OptionsDialog", "加载卷"));
    m_pVerify = m_pGrid->AddCheck(load, QCoreApplication::translate("OptionsDialog", "文件夹"), QCoreApplication::translate("OptionsDialog", "校验已删除的文件夹"), false);
    m_pSkipAllocated = m_pGrid->AddCheck(load, QCoreApplication::translate("OptionsDialog", "已删除文件"), QCoreApplication::translate("OptionsDialog", "跳过已分配的簇"), false);
    QTreeWidgetItem* exportGroup = m_pGrid->AddGroup(QCoreApplication::translate("OptionsDialog", "导出文件夹"));
    m_pAutoName = m_pGrid->AddCheck(exportGroup, QCoreApplication::translate("OptionsDialog", "命名"), QCoreApplication::translate("OptionsDialog", "自动命名同名文件"), false);
    m_pExtensions = m_pGrid->AddText(exportGroup, QCoreApplication::translate("OptionsDialog", "不导出的扩展名"), QString(), true);
    m_pPrefixes = m_pGrid->AddText(exportGroup, QCoreApplication::translate("OptionsDialog", "忽略文件名以开头"), QString(), true);
    Show(m_options);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QCoreApplication::translate("OptionsDialog", "确定"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QCoreApplication::translate("OptionsDialog", "取消"), QDialogButtonBox::RejectRole);
    QPushButton* apply = buttons->addButton(QCoreApplication::translate("OptionsDialog", "应用"), QDialogButtonBox::ApplyRole);
    QPushButton* defaults = buttons->addButton(QCoreApplication::translate("OptionsDialog", "恢复默认值"), QDialogButtonBox::ResetRole);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        Apply();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(apply, &QPushButton::clicked, this, &OptionsDialog::Apply);
    connect(defaults, &QPushButton::clicked, this, &OptionsDialog::ShowDefaults);

    // The hash sets live in their own database, not in the options record:
    // the page changes it at once, whatever button closes the dialog.
    auto* tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("optionsTabs"));
    tabs->addTab(m_pGrid, QCoreApplication::translate("OptionsDialog", "选项"));
    m_pHashSets = new HashSetPage(DefaultHashSetDbPath(), tabs);
    tabs->addTab(m_pHashSets, QCoreApplication::translate("OptionsDialog", "哈希集"));
    // The language is read once at start, before any window exists.
    m_pLanguage = new QComboBox(this);
    m_pLanguage->setObjectName(QStringLiteral("languageBox"));
    m_pLanguage->addItem(QCoreApplication::translate("OptionsDialog", "自动"), QString());
    m_pLanguage->addItem(QStringLiteral("中文"), QStringLiteral("zh"));
    m_pLanguage->addItem(QStringLiteral("English"), QStringLiteral("en"));
    if (m_pSettings) m_pLanguage->setCurrentIndex(std::max(0, m_pLanguage->findData(SavedLanguage(*m_pSettings))));
    auto* languageRow = new QHBoxLayout;
    languageRow->addWidget(new QLabel(QCoreApplication::translate("OptionsDialog", "语言"), this));
    languageRow->addWidget(m_pLanguage);
    languageRow->addWidget(new QLabel(QCoreApplication::translate("OptionsDialog", "下次启动时生效"), this), 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs, 1);
    layout->addLayout(languageRow);
    layout->addWidget(buttons);
    resize(460, 400);
}

void OptionsDialog::Show(const AnalysisOptions& o) {
    const auto check = [](QTreeWidgetItem* row, int value) { row->setCheckState(1, value ? Qt::Checked : Qt::Unchecked); };
    check(m_pLoaded, o.searchLoadedFiles);
    check(m_pZeroTime, o.ignoreZeroTime);
    check(m_pZeroDate, o.ignoreZeroDate);
    check(m_pNotParent, o.ignoreFirstClusterNotParent);
    check(m_pHtml, o.searchHtml);
    check(m_pDoc, o.searchDoc);
    for (const auto& [row, bit] : m_typeRows) check(row, (o.carveTypes & bit) != 0);
    check(m_pFreeOnly, o.carveFreeOnly);
    check(m_pVerify, o.verifyDeletedFolders);
    check(m_pSkipAllocated, o.skipAllocatedClusters);
    check(m_pAutoName, o.autoNameDuplicates);
    m_pExtensions->setText(1, FromUtf8(FormatExtensionText(o.excludedExtensions)));
    m_pPrefixes->setText(1, FromUtf8(FormatPrefixText(o.ignoredNamePrefixes)));
}

void OptionsDialog::ShowDefaults() { Show(AnalysisOptions{}); }

void OptionsDialog::Apply() {
    // Fields the page does not show (code page, the worker's pauses) stay.
    AnalysisOptions o = m_options;
    o.searchLoadedFiles = PropertyGrid::Checked(m_pLoaded);
    o.ignoreZeroTime = PropertyGrid::Checked(m_pZeroTime);
    o.ignoreZeroDate = PropertyGrid::Checked(m_pZeroDate);
    o.ignoreFirstClusterNotParent = PropertyGrid::Checked(m_pNotParent);
    o.searchHtml = PropertyGrid::Checked(m_pHtml);
    o.searchDoc = PropertyGrid::Checked(m_pDoc);
    o.carveTypes = 0;
    for (const auto& [row, bit] : m_typeRows)
        if (PropertyGrid::Checked(row)) o.carveTypes |= bit;
    o.carveFreeOnly = PropertyGrid::Checked(m_pFreeOnly);
    o.verifyDeletedFolders = PropertyGrid::Checked(m_pVerify);
    o.skipAllocatedClusters = PropertyGrid::Checked(m_pSkipAllocated);
    o.autoNameDuplicates = PropertyGrid::Checked(m_pAutoName);
    o.excludedExtensions = ParseExtensionText(PropertyGrid::Text(m_pExtensions).toStdString());
    o.ignoredNamePrefixes = ParsePrefixText(PropertyGrid::Text(m_pPrefixes).toStdString());
    m_options = o;
    Show(m_options);
    if (m_pSettings) SaveOptions(*m_pSettings, m_options);
    if (m_pSettings) SaveLanguage(*m_pSettings, m_pLanguage->currentData().toString());
}

}  // namespace delvora
