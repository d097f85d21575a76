// The add-data wizard: the first page's refusals, the partition list of a
// disk built with sfdisk and mkfs.fat, and a partition of the sample disk
// added through a loopback delvora-serve.
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QProcess>
#include <QTreeWidget>

#include "app/add_data_wizard.h"
#include "app/browse_bar.h"
#include "case/residual_worker.h"
#include "gui/gui_support.h"
#include "support/nbd_server.h"

namespace delvora::test {
namespace {

struct WizardHarness {
    RecordingContext recording;
    AddDataWizard wizard{recording.context, recording.notifier};

    // The recording context's device map starts empty: no test scans this
    // machine's own disks.
    WizardHarness() { wizard.show(); }
    QStringList Messages() const {
        QStringList texts;
        for (const std::string& text : recording.notifier.Texts()) texts << QString::fromStdString(text);
        return texts;
    }
    bool UseMap(const QString& path) {
        std::string error;
        return DeviceMap::LoadFile(path.toStdString(), recording.devices, error);
    }
    QStringList Row(int index) const {
        QStringList texts;
        QTreeWidgetItem* item = wizard.ListPage()->List()->topLevelItem(index);
        for (int i = 0; item && i < 7; ++i) texts << item->text(i);
        return texts;
    }
};

}  // namespace

class WizardTest : public QObject {
    Q_OBJECT
private slots:
    void FirstPageRefusesWithoutAVolumeKind() {
        WizardHarness h;
        SourceKindPage* page = h.wizard.SourcePage();
        QCOMPARE(h.wizard.windowTitle(), QStringLiteral("数据来源"));
        QVERIFY(page->Local()->isChecked());
        QCOMPARE(page->Remote()->text(), QStringLiteral("远程驱动器"));

        // Nothing ticked, then hard disk alone: both refused.
        h.wizard.next();
        page->WholeDisks()->setChecked(true);
        h.wizard.next();
        QCOMPARE(h.wizard.currentId(), int(AddDataWizard::kSourcePage));
        QCOMPARE(h.Messages(), (QStringList{QStringLiteral("请选择驱动器类型!"), QStringLiteral("请选择驱动器类型!")}));
        QCOMPARE(h.recording.notifier.Messages().back().caption, std::string("提示"));
        QVERIFY(h.recording.notifier.Messages().back().icon == MessageIcon::Error);
    }

    void RemoteWithoutConnectionIsRefusedButVirtualIsNot() {
        WizardHarness h;
        SourceKindPage* page = h.wizard.SourcePage();
        page->Remote()->setChecked(true);
        page->Partitions()->setChecked(true);
        h.wizard.next();
        QCOMPARE(h.Messages(), QStringList{QStringLiteral("没有连接到服务器!")});
        // A virtual volume needs neither a connection nor a drive type.
        page->Partitions()->setChecked(false);
        page->Virtual()->setChecked(true);
        h.wizard.next();
        QCOMPARE(h.wizard.currentId(), int(AddDataWizard::kVirtualPage));
        // Shown, the page pre-reads by itself; C: is not in this device map.
        QCOMPARE(h.Messages(), (QStringList{QStringLiteral("没有连接到服务器!"), QStringLiteral("打不开设备!")}));
        h.wizard.VirtualPage()->VolumeName()->clear();
        QVERIFY(!h.wizard.validateCurrentPage());
        QCOMPARE(h.Messages().back(), QStringLiteral("卷或设备名不能空!"));
    }

    void RemoteControlsConnectAndDisconnect() {
        WizardHarness h;
        SourceKindPage* page = h.wizard.SourcePage();
        const auto enabled = [page] {
            return QList<bool>{page->Server()->isEnabled(), page->User()->isEnabled(), page->Password()->isEnabled(),
                               page->ConnectButton()->isEnabled(), page->DisconnectButton()->isEnabled()};
        };
        QCOMPARE(enabled(), (QList<bool>{false, false, false, false, false}));
        page->Remote()->setChecked(true);
        QCOMPARE(page->Server()->text(), QStringLiteral("localhost"));
        QCOMPARE(enabled(), (QList<bool>{true, true, true, true, false}));

        page->Server()->clear();
        page->ConnectButton()->click();
        page->Server()->setText(QStringLiteral("127.0.0.1:1"));
        page->ConnectButton()->click();
        QCOMPARE(h.Messages(), (QStringList{QStringLiteral("请输入服务器名"), QStringLiteral("找不到服务器!")}));
        QVERIFY(!page->IsConnected());
        QVERIFY(!page->DisconnectButton()->isEnabled());
    }

    void ListPageShowsTheDiskRows() {
        DELVORA_QSKIP_MISSING("sfdisk", "mkfs.fat", "mmd", "mcopy");
        QTemporaryDir dir;
        const QString strMap = MakeTestDisk(dir.path());
        QVERIFY(!strMap.isEmpty());
        WizardHarness h;
        QVERIFY(h.UseMap(strMap));
        h.wizard.SourcePage()->Partitions()->setChecked(true);
        h.wizard.next();
        QCOMPARE(h.wizard.currentId(), int(AddDataWizard::kListPage));
        QTreeWidget* list = h.wizard.ListPage()->List();
        QCOMPARE(list->columnCount(), 7);
        const QStringList headers{QStringLiteral("驱动器"), QStringLiteral("文件系统"), QStringLiteral("标识"),
                                  QStringLiteral("开始扇区"), QStringLiteral("总扇区数"), QStringLiteral("大小"),
                                  QStringLiteral("来源")};
        const int widths[7] = {70, 100, 90, 90, 90, 100, 120};
        for (int i = 0; i < 7; ++i) {
            QCOMPARE(list->headerItem()->text(i), headers[i]);
            QCOMPARE(list->columnWidth(i), widths[i]);
        }
        QCOMPARE(list->topLevelItemCount(), 3);
        QCOMPARE(h.Row(0), (QStringList{QStringLiteral("C:"), QStringLiteral("Win95 FAT32"), QStringLiteral(" 12(0x0C)"),
                                        QStringLiteral("2048"), QStringLiteral("81920"), QStringLiteral("41943040"),
                                        QStringLiteral("PHYSICALDRIVE0")}));
        QCOMPARE(h.Row(1)[2], QStringLiteral("  7(0x07)"));
        QCOMPARE(h.Row(2)[2], QStringLiteral("  6(0x06)"));

        // Finishing without a row is refused.
        QVERIFY(!h.wizard.validateCurrentPage());
        QCOMPARE(h.Messages(), QStringList{QStringLiteral("请选择一项!")});

        list->setCurrentItem(list->topLevelItem(1));
        QVERIFY(h.wizard.validateCurrentPage());
        const ChosenRow& row = h.wizard.Chosen();
        QCOMPARE(row.typeId, uint8_t(7));
        QCOMPARE(row.startSector, 83968u);
        QCOMPARE(row.totalSectors, 16384u);
        QCOMPARE(row.sourceDevice, std::string("PHYSICALDRIVE0"));
        QCOMPARE(row.itemName, std::string("D:(NTFS)"));
    }

    void ImageFileListsItsOwnPartitions() {
        DELVORA_QSKIP_MISSING("sfdisk", "mkfs.fat", "mmd", "mcopy", "qemu-img");
        QTemporaryDir dir;
        QVERIFY(!MakeTestDisk(dir.path()).isEmpty());
        const QString image = dir.path() + QStringLiteral("/disk.qcow2");
        QCOMPARE(QProcess::execute(QStringLiteral("qemu-img"), {QStringLiteral("convert"), QStringLiteral("-O"),
                                                               QStringLiteral("qcow2"), dir.path() + QStringLiteral("/disk.img"), image}),
                 0);
        WizardHarness h;
        SourceKindPage* page = h.wizard.SourcePage();
        QCOMPARE(page->Image()->text(), QStringLiteral("镜像文件"));
        QVERIFY(!page->ImagePath()->isEnabled());
        page->Image()->setChecked(true);
        QVERIFY(page->ImagePath()->isEnabled());
        QVERIFY(!page->Server()->isEnabled());
        // No file named yet: refused with a message, the page stays.
        QVERIFY(!h.wizard.validateCurrentPage());
        QCOMPARE(h.Messages(), QStringList{QStringLiteral("请选择镜像文件!")});
        page->ImagePath()->setText(image);
        h.wizard.next();
        QCOMPARE(h.wizard.currentId(), int(AddDataWizard::kListPage));
        QTreeWidget* list = h.wizard.ListPage()->List();
        QCOMPARE(list->topLevelItemCount(), 3);
        QCOMPARE(h.Row(0)[2], QStringLiteral(" 12(0x0C)"));
        QCOMPARE(h.Row(0)[6], image);
        list->setCurrentItem(list->topLevelItem(0));
        QVERIFY(h.wizard.validateCurrentPage());
        QCOMPARE(h.wizard.Chosen().sourceDevice, image.toStdString());
        QCOMPARE(h.wizard.Chosen().startSector, 2048u);
    }

    void ListIsScannedAgainOnEveryVisit() {
        DELVORA_QSKIP_MISSING("sfdisk", "mkfs.fat", "mmd", "mcopy");
        QTemporaryDir dir;
        const QString strMap = MakeTestDisk(dir.path());
        QVERIFY(!strMap.isEmpty());
        WizardHarness h;
        h.wizard.SourcePage()->Partitions()->setChecked(true);
        h.wizard.next();
        // No disk known: an empty list.
        QCOMPARE(h.wizard.ListPage()->List()->topLevelItemCount(), 0);
        h.wizard.back();
        QVERIFY(h.UseMap(strMap));
        h.wizard.SourcePage()->WholeDisks()->setChecked(true);
        h.wizard.next();
        // Three partitions and the whole-disk row.
        QCOMPARE(h.wizard.ListPage()->List()->topLevelItemCount(), 4);
        int nWholeDisks = 0;
        for (int i = 0; i < 4; ++i) nWholeDisks += h.Row(i)[2] == QStringLiteral("  0(0x00)");
        QCOMPARE(nWholeDisks, 1);
    }

    void RemotePartitionIsListedWithItsAddressAndLoads() {
        TempDir dir;
        std::string missing;
        if (!MakeServedSample(dir, &missing)) {
            if (!missing.empty()) QSKIP(qPrintable(QString::fromStdString(missing + " missing")));
            QFAIL("the sample disk was not built");
        }
        NbdServer server(dir, dir.File("devices.map"));
        QVERIFY(server.Running());
        const QString address = QString::fromStdString(server.Address());

        // The same partition added from the local disk first, to compare with.
        Window window;
        QCOMPARE(RunShell("printf 'PHYSICALDRIVE0=disk.img\\n' > " + dir.File("local.map")), 0);
        QVERIFY(AddFat32(window, QString::fromStdString(dir.File("local.map"))));
        QTRY_VERIFY_WITH_TIMEOUT(TreeShowsVolumes(window, 1), 20000);

        std::unique_ptr<AddDataWizard> wizard = window.frame->MakeWizard();
        wizard->show();
        SourceKindPage* page = wizard->SourcePage();
        page->Remote()->setChecked(true);
        page->Partitions()->setChecked(true);
        page->Server()->setText(address);
        page->ConnectButton()->click();
        QVERIFY2(page->IsConnected(), qPrintable(window.Messages().join(QLatin1Char('|'))));
        wizard->next();
        QTreeWidget* list = wizard->ListPage()->List();
        QCOMPARE(list->topLevelItemCount(), 5);
        const QString source = QStringLiteral("PHYSICALDRIVE0(\\\\%1)").arg(address);
        // The served map names C: too: the NTFS partition takes that letter.
        QCOMPARE(list->topLevelItem(1)->text(1), QStringLiteral("Win95 FAT32"));
        QCOMPARE(list->topLevelItem(1)->text(6), source);
        // Every column is on show once the wizard has widened, and the source
        // column has room for the address at least (the offscreen screen is
        // too narrow for the whole text: its middle is cut).
        QTRY_VERIFY(list->viewport()->width() >= list->header()->length());
        QVERIFY(list->columnWidth(6) > list->fontMetrics().horizontalAdvance(QStringLiteral("…(\\\\%1)").arg(address)));

        list->setCurrentItem(list->topLevelItem(1));
        QVERIFY(wizard->validateCurrentPage());
        window.frame->AddChosenRow(wizard->Chosen(), wizard->RemoteChosen());
        // The item keeps its own connection when the wizard lets go of its own.
        wizard.reset();
        QTRY_VERIFY_WITH_TIMEOUT(TreeShowsVolumes(window, 2), 20000);
        QVERIFY2(window.notifier.Texts().empty(), qPrintable(window.Messages().join(QLatin1Char('|'))));
        const QTreeWidget* tree = window.frame->Browse()->Tree();
        QCOMPARE(tree->topLevelItem(1)->text(0), QStringLiteral("D:(Win95 FAT32)(\\\\%1)").arg(address));
        const auto folders = [tree](int item) {
            QStringList texts;
            const QTreeWidgetItem* volume = tree->topLevelItem(item)->child(0);
            for (int i = 0; i < volume->childCount(); ++i) texts << volume->child(i)->text(0);
            return texts;
        };
        QVERIFY(folders(0).contains(QStringLiteral("Photos")));
        QCOMPARE(folders(1), folders(0));

        // A residual search of the remote volume runs on the worker, where a
        // stop reaches it, and one run to its end fills the recycle item.
        CaseWorkspace& ws = window.Workspace();
        DataItem& remoteItem = *ws.Items().at(1);
        Volume& remoteVolume = *remoteItem.volumes.at(0);
        QVERIFY(StartResidualSearch(ws, remoteItem, remoteVolume));
        ws.SetBusy(0);
        QTRY_VERIFY_WITH_TIMEOUT(ws.IsBusy() == 0, 20000);
        ws.WaitForWorker();
        QVERIFY(StartResidualSearch(ws, remoteItem, remoteVolume));
        QTRY_VERIFY_WITH_TIMEOUT(ws.IsBusy() == 0, 60000);
        ws.WaitForWorker();
        QVERIFY(remoteVolume.RecycleItem()->childCount > 0);
    }
};

DELVORA_GUI_TEST(WizardTest);

}  // namespace delvora::test

#include "wizard_test.moc"
