#include "script/default_script.h"

namespace delvora {

const char* DefaultScriptText() {
    return R"JS(// 脚本入口函数: 执行时调用 main
function main()
{
    find_part();
}

// 在 PHYSICALDRIVE0 的 0 到 99 扇区中查找 NTFS 与 FAT 引导扇区
function find_part()
{
    var ret = Delvora.OpenDisk("PHYSICALDRIVE0");
    if (ret == S_FALSE)
    {
        Delvora.Msg("打不开磁盘");
        return;
    }
    Delvora.DeleteColumn(0);
    Delvora.DeleteAllItems();
    Delvora.InsertColumn(0, "位置");
    var nItem = 0;
    for (var i = 0; i < 100; i++)
    {
        var b = new Array(7);
        for (var j = 0; j < 7; j++)
            b[j] = Delvora.ReadSector(i, j);
        if (b[0] == 235 && b[1] == 82 && b[2] == 144 && b[3] == 78 && b[4] == 84 && b[5] == 70 && b[6] == 83)
        {
            Delvora.InsertItem(nItem, "开始扇区 " + i + "  NTFS");
            nItem++;
        }
        else if (b[0] == 235 && b[1] == 60 && b[2] == 144 && b[3] == 77 && b[4] == 83 && b[5] == 68 && b[6] == 79)
        {
            Delvora.InsertItem(nItem, "开始扇区 " + i + "   FAT");
            nItem++;
        }
    }
    Delvora.SetSize();
}

var S_OK            = 0x00;
var S_FALSE         = 0x01;
var FILE_BEGIN      = 0x01;
var FILE_CURRENT    = 0x02;
var FILE_END        = 0x04;
var FILE_READ       = 0x01;
var FILE_WRITE      = 0x02;
var FILE_READWRITE  = 0x04;
var FILE_CREATE     = 0x08;
var FILE_NOTRUNCATE = 0x16;
var FILE_NOINHERIT  = 0x32;

// Delvora 对象的方法 (名字不分大小写):
// void    Msg(LPSTR lpszMsg)
// void    SetState(LPSTR lpszMsg)
// int     OpenDisk(LPSTR szDriverName)                 // "PHYSICALDRIVE0", "C:"
// void    CloseDisk()
// int     ReadSector(int nSectorNo, int nOffSize)      // 返回 0 - 255
// int     WriteSector(int nSectorNo, int nValue, int nOffSize)
// int     FlushDisk(int nSectorNo)
// int     OpenFile(LPSTR szFilePathName, int nFormat)  // FILE_READ ...
// int     CloseFile()
// int     ReadFile()                                   // 返回 0 - 255
// int     WriteFile(int nValue)
// int     SeekFile(int nOffSize, int nFormat)          // FILE_BEGIN ...
// int     FlushFile()
// int     InsertColumn(int nCol, LPSTR lpszName)
// int     DeleteColumn(int nCol)
// int     DeleteAllItems()
// int     InsertItem(int nItem, LPSTR lpszText)
// int     SetItemText(int nItem, int nCol, LPSTR lpszText)
// int     DeleteItem(int nItem)
// int     GetColumnCount()
// int     GetItemCount()
// BSTR    GetItemText(int nItem, int nCol)
// int     SetSize()
)JS";
}

}  // namespace delvora
