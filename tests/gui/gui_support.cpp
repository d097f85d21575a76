#include "gui/gui_support.h"

#include "app/add_data_wizard.h"
#include "app/browse_bar.h"

#include <QCheckBox>
#include <QDir>
#include <QTreeWidget>
#include <QFile>

#include <string>

namespace delvora::test {

std::vector<TestFactory>& TestRegistry() {
    static std::vector<TestFactory> s_registry;
    return s_registry;
}

Window::Window(bool openWizardAtStart)
    : workstation(std::make_unique<Workstation>(&notifier)) {
    FrameOptions options;
    options.openWizardAtStart = openWizardAtStart;
    frame = std::make_unique<MainFrame>(*workstation, options);
}

Window::~Window() {
    // A load still running must end before the tree it fills goes away.
    workstation->Workspace().WaitForWorker();
    frame.reset();
}

QStringList Window::Messages() const {
    QStringList texts;
    for (const std::string& text : notifier.Texts()) texts << QString::fromStdString(text);
    return texts;
}

QString MissingTool(std::initializer_list<const char*> tools) {
    for (const char* tool : tools)
        if (!HaveTool(tool)) return QStringLiteral("%1 missing").arg(QLatin1String(tool));
    return {};
}

QString MakeTestDisk(const QString& folder) {
    const QString strDir = QDir(folder).absolutePath();
    static const char* const kScript = R"SH(set -e
export PATH="$PATH:/sbin:/usr/sbin" MTOOLS_SKIP_CHECK=1
cd "$(dirname "$0")"
truncate -s 64M disk.img
sfdisk -q disk.img <<'LAYOUT'
label: dos
start=2048, size=81920, type=c
size=16384, type=7
type=5
size=16384, type=6
LAYOUT
truncate -s 40M fat.img
mkfs.fat -F 32 -s 1 -n TESTVOL fat.img >/dev/null
mmd -i fat.img ::/Docs ::/Docs/Sub ::/Empty
printf 'alpha\n' > a.txt
printf 'bravo\n' > b.txt
mcopy -i fat.img a.txt ::/a.txt
mcopy -i fat.img b.txt ::/Docs/b.txt
dd if=fat.img of=disk.img bs=512 seek=2048 conv=notrunc status=none
rm -f fat.img a.txt b.txt
printf 'PHYSICALDRIVE0=disk.img\n' > devices.map
)SH";
    QFile script(strDir + QStringLiteral("/make-disk.sh"));
    if (!script.open(QIODevice::WriteOnly) || script.write(kScript) < 0) return {};
    script.close();
    std::string output;
    if (RunShell("bash '" + script.fileName().toStdString() + "' 2>&1", &output) != 0) {
        qWarning("building the test disk failed: %s", output.c_str());
        return {};
    }
    return strDir + QStringLiteral("/devices.map");
}

bool AddFat32(Window& window, const QString& map) {
    QString strError;
    if (!window.workstation->LoadDeviceMap(map, strError)) return false;
    std::unique_ptr<AddDataWizard> wizard = window.frame->MakeWizard();
    wizard->show();
    wizard->SourcePage()->Partitions()->setChecked(true);
    wizard->next();
    QTreeWidget* list = wizard->ListPage()->List();
    if (list->topLevelItemCount() == 0) return false;
    list->setCurrentItem(list->topLevelItem(0));
    if (!wizard->validateCurrentPage()) return false;
    window.frame->AddChosenRow(wizard->Chosen());
    return true;
}

bool TreeShowsVolumes(Window& window, int items) {
    const QTreeWidget* tree = window.frame->Browse()->Tree();
    if (window.Workspace().IsBusy() || tree->topLevelItemCount() != items + 3) return false;
    for (int i = 0; i < items; ++i)
        if (tree->topLevelItem(i)->childCount() != 1) return false;
    return true;
}

}  // namespace delvora::test
