#include "case/fake_volume.h"

#include "fs/file_tree.h"

namespace delvora::test {

FakeVolume::FakeVolume(FakeVolumeScript& script, VolumeClass volumeClass)
    : m_script(script), m_class(volumeClass) {
    ++m_script.made;
}

bool FakeVolume::Prepare() {
    if (m_script.requireOpenSource && (!m_pDataSource || !m_pDataSource->IsOpen())) return false;
    if (!m_script.prepareAnswer) return false;
    m_script.lastSource = m_pDataSource;
    switch (m_class) {
        case VolumeClass::Fat:
            m_kind = m_nFatType;
            SetDescription(m_nFatType == 1 ? "FAT12" : m_nFatType == 2 ? "FAT16" : "FAT32");
            break;
        case VolumeClass::Ntfs: m_kind = kNtfs; SetDescription("NTFS"); break;
        case VolumeClass::Ext2: m_kind = kExt2; SetDescription("EXT2"); break;
        default: break;
    }
    return true;
}

bool FakeVolume::LoadTree() {
    ++m_script.loads;
    if (m_script.onLoadTree) m_script.onLoadTree();
    return true;
}

void UseFakeVolumes(CaseWorkspace& workspace, FakeVolumeScript& script) {
    workspace.SetVolumeFactory([&script](VolumeClass volumeClass) -> std::unique_ptr<Volume> {
        script.classesAsked.push_back(volumeClass);
        return std::make_unique<FakeVolume>(script, volumeClass);
    });
}

void RecordingEvents::BuildCaseTree(DataItem& item) {
    if (onBuild) onBuild(item);
    std::lock_guard lock(m_mutex);
    m_built.push_back(&item);
}

std::vector<DataItem*> RecordingEvents::Built() const {
    std::lock_guard lock(m_mutex);
    return m_built;
}

}  // namespace delvora::test
