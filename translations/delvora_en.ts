<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>AddData</name>
    <message>
        <source>内存不足!</source>
        <translation>Out of memory!</translation>
    </message>
    <message>
        <source>分析文件系统错!</source>
        <translation>Error analysing the file system!</translation>
    </message>
</context>
<context>
    <name>AddDataWizard</name>
    <message>
        <source>本地驱动器</source>
        <translation>Local drive</translation>
    </message>
    <message>
        <source>远程驱动器</source>
        <translation>Remote drive</translation>
    </message>
    <message>
        <source>连接</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>断开</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>镜像文件</source>
        <translation>Image file</translation>
    </message>
    <message>
        <source>浏览...</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>软盘</source>
        <translation>Floppy disk</translation>
    </message>
    <message>
        <source>逻辑卷</source>
        <translation>Logical volume</translation>
    </message>
    <message>
        <source>硬盘</source>
        <translation>Hard disk</translation>
    </message>
    <message>
        <source>虚拟卷</source>
        <translation>Virtual volume</translation>
    </message>
    <message>
        <source>选择数据来源</source>
        <translation>Choose the data source</translation>
    </message>
    <message>
        <source>E01, VHD/VHDX, VMDK, QCOW2, 分卷或原始镜像</source>
        <translation>E01, VHD/VHDX, VMDK, QCOW2, split or raw image</translation>
    </message>
    <message>
        <source>主机[:端口]</source>
        <translation>host[:port]</translation>
    </message>
    <message>
        <source>十六进制密钥; 空: 不加密</source>
        <translation>hexadecimal key; empty: no encryption</translation>
    </message>
    <message>
        <source>打开镜像文件</source>
        <translation>Open image file</translation>
    </message>
    <message>
        <source>所有文件 (*)</source>
        <translation>All files (*)</translation>
    </message>
    <message>
        <source>驱动器位置</source>
        <translation>Drive location</translation>
    </message>
    <message>
        <source>地  址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>用户名</source>
        <translation>User name</translation>
    </message>
    <message>
        <source>密  码</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>文  件</source>
        <translation>File</translation>
    </message>
    <message>
        <source>驱动器类型</source>
        <translation>Drive type</translation>
    </message>
    <message>
        <source>没有连接到服务器!</source>
        <translation>Not connected to the server!</translation>
    </message>
    <message>
        <source>请选择镜像文件!</source>
        <translation>Please choose an image file!</translation>
    </message>
    <message>
        <source>请选择驱动器类型!</source>
        <translation>Please choose a drive type!</translation>
    </message>
    <message>
        <source>选择分区</source>
        <translation>Choose a partition</translation>
    </message>
    <message>
        <source>未识别出分区或 FAT、NTFS、EXT2 卷: </source>
        <translation>No partition or FAT, NTFS or EXT2 volume recognised: </translation>
    </message>
    <message>
        <source>请选择一项!</source>
        <translation>Please choose an item!</translation>
    </message>
    <message>
        <source>数据来源</source>
        <translation>Data source</translation>
    </message>
    <message>
        <source>&lt; 上一步</source>
        <translation>&lt; Back</translation>
    </message>
    <message>
        <source>下一步 &gt;</source>
        <translation>Next &gt;</translation>
    </message>
    <message>
        <source>完成</source>
        <translation>Finish</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>BrowseBar</name>
    <message>
        <source>显示文件</source>
        <translation>Show files</translation>
    </message>
    <message>
        <source>回收站</source>
        <translation>Recycle bin</translation>
    </message>
</context>
<context>
    <name>CaseFile</name>
    <message>
        <source>写入文件 %s 时出错: %s</source>
        <translation>Error writing the file %s: %s</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>文件格式不对!</source>
        <translation>The file format is not right!</translation>
    </message>
    <message>
        <source>分析文件系统错误!</source>
        <translation>Error analysing the file system!</translation>
    </message>
    <message>
        <source>案例文件不完整,已读入的数据项保留!</source>
        <translation>The case file is incomplete; the data items read so far are kept!</translation>
    </message>
    <message>
        <source>内存不足!</source>
        <translation>Out of memory!</translation>
    </message>
</context>
<context>
    <name>CaseFileDialog</name>
    <message>
        <source>保存各个文件项 (若数据源不变 建议选中此项)</source>
        <translation>Save each file item (recommended if the data source does not change)</translation>
    </message>
    <message>
        <source>另存为</source>
        <translation>Save as</translation>
    </message>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
</context>
<context>
    <name>CaseFileLoader</name>
    <message>
        <source>内存不足!</source>
        <translation>Out of memory!</translation>
    </message>
    <message>
        <source>无法打开数据源 %s: %s</source>
        <translation>Cannot open the data source %s: %s</translation>
    </message>
    <message>
        <source>读取文件时出错: </source>
        <translation>Error reading the file: </translation>
    </message>
</context>
<context>
    <name>CaseItem</name>
    <message>
        <source>文本</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>图像</source>
        <translation>Pictures</translation>
    </message>
    <message>
        <source>关键字1</source>
        <translation>Keyword 1</translation>
    </message>
    <message>
        <source>书签</source>
        <translation>Bookmarks</translation>
    </message>
    <message>
        <source>关键字</source>
        <translation>Keywords</translation>
    </message>
    <message>
        <source>搜索</source>
        <translation>Search</translation>
    </message>
</context>
<context>
    <name>CaseResults</name>
    <message>
        <source>案件文件中的搜索结果超过 %u 个, 已略去</source>
        <translation>The case file holds more than %u search results; the rest were left out</translation>
    </message>
    <message>
        <source>案件文件中的搜索结果不完整, 已略去</source>
        <translation>The search results in the case file are incomplete and were left out</translation>
    </message>
</context>
<context>
    <name>CaseWorkspace</name>
    <message>
        <source>无消息</source>
        <translation>No message</translation>
    </message>
    <message>
        <source>线程忙!</source>
        <translation>The worker is busy!</translation>
    </message>
    <message>
        <source>您是否要停止当前操作?</source>
        <translation>Do you want to stop the current operation?</translation>
    </message>
</context>
<context>
    <name>CmdExport</name>
    <message>
        <source>创建文件失败:%s</source>
        <translation>Could not create the file: %s</translation>
    </message>
</context>
<context>
    <name>CmdInfo</name>
    <message>
        <source>正在校验...</source>
        <translation>Verifying...</translation>
    </message>
</context>
<context>
    <name>CmdParams</name>
    <message>
        <source>项	值	重要</source>
        <translation>Item	Value	Important</translation>
    </message>
</context>
<context>
    <name>CmdSearch</name>
    <message>
        <source>一次最多查找 %zu 个关键字</source>
        <translation>At most %zu keywords can be searched at once</translation>
    </message>
    <message>
        <source>搜索范围设置错误!</source>
        <translation>The search range is not right!</translation>
    </message>
</context>
<context>
    <name>ColligationView</name>
    <message>
        <source>文本</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>十六进制</source>
        <translation>Hexadecimal</translation>
    </message>
</context>
<context>
    <name>DetectAndLoad</name>
    <message>
        <source>分析文件系统耗时: %u 毫秒</source>
        <translation>File system analysed in %u ms</translation>
    </message>
    <message>
        <source>加载文件系统过程中暂时不能终止!</source>
        <translation>Loading the file system cannot be stopped at this moment!</translation>
    </message>
    <message>
        <source>加载树视图过程中暂时不能终止!</source>
        <translation>Loading the tree view cannot be stopped at this moment!</translation>
    </message>
    <message>
        <source>正在加载文件系统...</source>
        <translation>Loading the file system...</translation>
    </message>
    <message>
        <source>正在加载树视图...</source>
        <translation>Loading the tree view...</translation>
    </message>
    <message>
        <source>进度</source>
        <translation>Progress</translation>
    </message>
</context>
<context>
    <name>DiskBrowseForm</name>
    <message>
        <source>数据大小</source>
        <translation>Data size</translation>
    </message>
    <message>
        <source>行 </source>
        <translation>Rows </translation>
    </message>
    <message>
        <source>列</source>
        <translation>Columns</translation>
    </message>
    <message>
        <source>每扇区字节数</source>
        <translation>Bytes per sector</translation>
    </message>
    <message>
        <source>逻辑分区</source>
        <translation>Logical partition</translation>
    </message>
    <message>
        <source>扇区位置</source>
        <translation>Sector position</translation>
    </message>
    <message>
        <source>  显示</source>
        <translation>  Show</translation>
    </message>
    <message>
        <source> 前景色</source>
        <translation> Foreground</translation>
    </message>
    <message>
        <source> 背景色</source>
        <translation> Background</translation>
    </message>
    <message>
        <source>请设好扇区大小!</source>
        <translation>Please set the sector size!</translation>
    </message>
    <message>
        <source>每扇区字节数一般只能为 512 的倍数!</source>
        <translation>Bytes per sector must be a multiple of 512!</translation>
    </message>
    <message>
        <source>扇区大小 != 行数*列数</source>
        <translation>Sector size != rows * columns</translation>
    </message>
    <message>
        <source>创建内存位图失败!</source>
        <translation>Could not create the memory bitmap!</translation>
    </message>
    <message>
        <source>打不开磁盘文件!</source>
        <translation>Cannot open the disk file!</translation>
    </message>
    <message>
        <source>读取数据出错!</source>
        <translation>Error reading data!</translation>
    </message>
</context>
<context>
    <name>DiskDevice</name>
    <message>
        <source>请设好逻辑盘符!</source>
        <translation>Please set the drive letter!</translation>
    </message>
    <message>
        <source>请将逻辑盘符设成 A: C: D: ... </source>
        <translation>Please set the drive letter to A: C: D: ... </translation>
    </message>
    <message>
        <source>创建逻辑盘文件失败!</source>
        <translation>Could not create the logical drive file!</translation>
    </message>
    <message>
        <source>读取 %s 磁盘 %llu 扇区出错! 原因: %s</source>
        <translation>Error reading disk %s, sector %llu! Reason: %s</translation>
    </message>
</context>
<context>
    <name>DiskMap</name>
    <message>
        <source>启动卷</source>
        <translation>Boot volume</translation>
    </message>
    <message>
        <source>根文件夹</source>
        <translation>Root folder</translation>
    </message>
    <message>
        <source>已分配</source>
        <translation>Allocated</translation>
    </message>
    <message>
        <source>Dos启动扇区</source>
        <translation>DOS boot sector</translation>
    </message>
    <message>
        <source>超级块</source>
        <translation>Superblock</translation>
    </message>
    <message>
        <source>组描述符</source>
        <translation>Group descriptors</translation>
    </message>
    <message>
        <source>块位图</source>
        <translation>Block bitmap</translation>
    </message>
    <message>
        <source>索引节点位图</source>
        <translation>Inode bitmap</translation>
    </message>
    <message>
        <source>索引节点表</source>
        <translation>Inode table</translation>
    </message>
    <message>
        <source>大小写表</source>
        <translation>Up-case table</translation>
    </message>
</context>
<context>
    <name>DiskMapWidget</name>
    <message>
        <source>扇区 %1</source>
        <translation>Sector %1</translation>
    </message>
    <message>
        <source>扇区 %1 - %2</source>
        <translation>Sectors %1 - %2</translation>
    </message>
</context>
<context>
    <name>DiskScan</name>
    <message>
        <source>远程计算机的设备都没有应答!</source>
        <translation>None of the remote computer&apos;s devices answered!</translation>
    </message>
    <message>
        <source>驱动器</source>
        <translation>Drive</translation>
    </message>
    <message>
        <source>文件系统</source>
        <translation>File system</translation>
    </message>
    <message>
        <source>标识</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>开始扇区</source>
        <translation>First sector</translation>
    </message>
    <message>
        <source>总扇区数</source>
        <translation>Total sectors</translation>
    </message>
    <message>
        <source>大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>来源</source>
        <translation>Source</translation>
    </message>
</context>
<context>
    <name>DiskView</name>
    <message>
        <source>磁盘浏览</source>
        <translation>Disk browser</translation>
    </message>
    <message>
        <source>扇区类型</source>
        <translation>Sector type</translation>
    </message>
    <message>
        <source>十六进制</source>
        <translation>Hexadecimal</translation>
    </message>
    <message>
        <source>%1
开始扇区 %2  物理长度 %3</source>
        <translation>%1
First sector %2  Physical length %3</translation>
    </message>
</context>
<context>
    <name>ExfatResidual</name>
    <message>
        <source>查找残余文件...</source>
        <translation>Searching for residual files...</translation>
    </message>
    <message>
        <source>找到 %llu 个</source>
        <translation>%llu found</translation>
    </message>
    <message>
        <source>正在调整文件夹...</source>
        <translation>Arranging folders...</translation>
    </message>
</context>
<context>
    <name>ExfatVolume</name>
    <message>
        <source>exFAT 输入的引导参数无效: %s</source>
        <translation>exFAT: the boot parameters given are not valid: %s</translation>
    </message>
    <message>
        <source>exFAT 主引导区损坏(%s),已使用备份引导区(第 %u 扇区起)</source>
        <translation>exFAT: main boot region damaged (%s); using the backup boot region (from sector %u)</translation>
    </message>
    <message>
        <source>exFAT 引导区校验和不符且无可用的备份引导区,仍按主引导区读取</source>
        <translation>exFAT: boot region checksum mismatch and no usable backup boot region; reading the main boot region anyway</translation>
    </message>
    <message>
        <source>exFAT 引导扇区无效: %s</source>
        <translation>exFAT: invalid boot sector: %s</translation>
    </message>
    <message>
        <source>DOS引导记录区损坏,请重建!</source>
        <translation>The DOS boot record is damaged; please rebuild it!</translation>
    </message>
    <message>
        <source>分配簇使用位图失败!</source>
        <translation>Could not allocate the cluster usage bitmap!</translation>
    </message>
    <message>
        <source>exFAT 根文件夹的簇链无效</source>
        <translation>exFAT: the root folder&apos;s cluster chain is not valid</translation>
    </message>
    <message>
        <source>exFAT 根文件夹簇 %u 读取失败</source>
        <translation>exFAT: could not read root folder cluster %u</translation>
    </message>
    <message>
        <source>exFAT 根文件夹中没有分配位图,所有簇按已使用处理</source>
        <translation>exFAT: no allocation bitmap in the root folder; all clusters are treated as in use</translation>
    </message>
    <message>
        <source>exFAT 根文件夹中没有大小写转换表</source>
        <translation>exFAT: no up-case table in the root folder</translation>
    </message>
    <message>
        <source>exFAT 分配位图只有 %llu 字节,少于 %u 个簇所需的 %llu 字节,其余簇按已使用处理</source>
        <translation>exFAT: the allocation bitmap has only %llu bytes, fewer than %u clusters need (%llu bytes); the other clusters are treated as in use</translation>
    </message>
    <message>
        <source>exFAT 分配位图的簇链不完整</source>
        <translation>exFAT: the allocation bitmap&apos;s cluster chain is incomplete</translation>
    </message>
    <message>
        <source>exFAT 分配位图簇 %u 读取失败</source>
        <translation>exFAT: could not read allocation bitmap cluster %u</translation>
    </message>
    <message>
        <source>exFAT 大小写转换表的长度 %llu 字节不合理,已忽略该表</source>
        <translation>exFAT: up-case table length of %llu bytes is not plausible; the table was ignored</translation>
    </message>
    <message>
        <source>exFAT 大小写转换表的簇链不完整</source>
        <translation>exFAT: the up-case table&apos;s cluster chain is incomplete</translation>
    </message>
    <message>
        <source>exFAT 大小写转换表校验和不符</source>
        <translation>exFAT: up-case table checksum mismatch</translation>
    </message>
    <message>
        <source>exFAT 簇链在簇 %u 处成环,已截断</source>
        <translation>exFAT: cluster chain loops at cluster %u; cut short</translation>
    </message>
    <message>
        <source>exFAT 文件夹簇 %u 读取失败</source>
        <translation>exFAT: could not read folder cluster %u</translation>
    </message>
    <message>
        <source>exFAT 文件项集%s,已跳过: 文件夹 %s, 卷内字节 %llu</source>
        <translation>exFAT: file entry set %s, skipped: folder %s, volume byte %llu</translation>
    </message>
    <message>
        <source>exFAT 跳过的文件项集过多,以后的不再逐条记录</source>
        <translation>exFAT: too many file entry sets skipped; later ones are not logged one by one</translation>
    </message>
    <message>
        <source>校验和不符</source>
        <translation>checksum mismatch</translation>
    </message>
    <message>
        <source>附属项数不合理</source>
        <translation>implausible secondary entry count</translation>
    </message>
    <message>
        <source>缺少流扩展项</source>
        <translation>stream extension entry missing</translation>
    </message>
    <message>
        <source>文件名项不合理</source>
        <translation>implausible file name entries</translation>
    </message>
</context>
<context>
    <name>ExfatVolumeItems</name>
    <message>
        <source>exFAT 文件的首簇 %u 不在簇堆内: %s</source>
        <translation>exFAT: the file&apos;s first cluster %u is outside the cluster heap: %s</translation>
    </message>
    <message>
        <source>exFAT 文件的簇超出簇堆: %s</source>
        <translation>exFAT: the file&apos;s clusters run past the cluster heap: %s</translation>
    </message>
    <message>
        <source>exFAT 簇链短于文件长度: %s</source>
        <translation>exFAT: cluster chain shorter than the file length: %s</translation>
    </message>
    <message>
        <source>FAT表异常!</source>
        <translation>FAT table is abnormal!</translation>
    </message>
    <message>
        <source>获取数据错!</source>
        <translation>Error getting data!</translation>
    </message>
</context>
<context>
    <name>ExportItem</name>
    <message>
        <source>取出文件簇列表错误!</source>
        <translation>Error getting the file&apos;s cluster list!</translation>
    </message>
    <message>
        <source>读文件错!</source>
        <translation>Error reading the file!</translation>
    </message>
    <message>
        <source>创建文件失败:%s</source>
        <translation>Could not create the file: %s</translation>
    </message>
    <message>
        <source>写文件失败:%s</source>
        <translation>Could not write the file: %s</translation>
    </message>
</context>
<context>
    <name>Ext2Residual</name>
    <message>
        <source>查找残余文件...</source>
        <translation>Searching for residual files...</translation>
    </message>
    <message>
        <source>找到 %zu 个</source>
        <translation>%zu found</translation>
    </message>
</context>
<context>
    <name>Ext2TreeBuild</name>
    <message>
        <source>EXT 卷中有多个目录共用同一数据块,重复的块只读取一次.</source>
        <translation>EXT volume: several directories share a data block; a repeated block is read only once.</translation>
    </message>
</context>
<context>
    <name>Ext2Volume</name>
    <message>
        <source>EXT 卷使用了本程序不支持的特性 %s (0x%X),无法读取该卷!</source>
        <translation>The EXT volume uses the feature %s (0x%X), which this program does not support; the volume cannot be read!</translation>
    </message>
    <message>
        <source>分配簇使用位图失败!</source>
        <translation>Could not allocate the cluster usage bitmap!</translation>
    </message>
</context>
<context>
    <name>FatResidual</name>
    <message>
        <source>查找残余文件...</source>
        <translation>Searching for residual files...</translation>
    </message>
    <message>
        <source>找到 %llu 个</source>
        <translation>%llu found</translation>
    </message>
    <message>
        <source>正在调整文件夹...</source>
        <translation>Arranging folders...</translation>
    </message>
    <message>
        <source>搜索到的文件信息里有FAT32文件系统的标志,但本卷是%s.
如果文件内容不对,请您以虚拟卷方式加载本卷(或将分区格回原来的文件系统再加载)</source>
        <translation>The file information found carries marks of a FAT32 file system, but this volume is %s.
If the file contents are wrong, please load this volume as a virtual volume (or format the partition back to its former file system and load it again)</translation>
    </message>
    <message>
        <source>搜索到的文件信息里未包含FAT32文件系统特有的标志,
可能存在两种情况:1.搜索到的文件是FAT16或FAT12文件系统留下的; 2.本卷拥有的文件信息都在靠近卷开始的位置.
如果文件内容不正确,而且本分区以前是FAT12或FAT16文件系统,请您以虚拟卷方式加载本卷(或将分区格回原来的文件系统再加载)</source>
        <translation>The file information found holds none of the marks of a FAT32 file system.
There are two possibilities: 1. the files found were left by a FAT16 or FAT12 file system; 2. all of this volume&apos;s file information lies near the start of the volume.
If the file contents are wrong and this partition was FAT12 or FAT16 before, please load this volume as a virtual volume (or format the partition back to its former file system and load it again)</translation>
    </message>
    <message>
        <source>FAT12文件系统</source>
        <translation>a FAT12 file system</translation>
    </message>
    <message>
        <source>FAT16文件系统</source>
        <translation>a FAT16 file system</translation>
    </message>
</context>
<context>
    <name>FatVolume</name>
    <message>
        <source>DOS引导记录区损坏,请重建!</source>
        <translation>The DOS boot record is damaged; please rebuild it!</translation>
    </message>
    <message>
        <source>计算错误1!</source>
        <translation>Calculation error 1!</translation>
    </message>
    <message>
        <source>分配簇使用位图失败!</source>
        <translation>Could not allocate the cluster usage bitmap!</translation>
    </message>
</context>
<context>
    <name>FatVolumeItems</name>
    <message>
        <source>FAT表异常!</source>
        <translation>FAT table is abnormal!</translation>
    </message>
    <message>
        <source>获取数据错!</source>
        <translation>Error getting data!</translation>
    </message>
</context>
<context>
    <name>FileHashes</name>
    <message>
        <source>计算哈希</source>
        <translation>Compute hashes</translation>
    </message>
    <message>
        <source>读文件错!%s</source>
        <translation>Error reading the file! %s</translation>
    </message>
    <message>
        <source>计算哈希: %u 个文件, 已知 %u 个, 关注 %u 个, 失败 %u 个%s</source>
        <translation>Hashes computed: %u files, %u known, %u notable, %u failed%s</translation>
    </message>
    <message>
        <source> (已停止)</source>
        <translation> (stopped)</translation>
    </message>
</context>
<context>
    <name>FileListModel</name>
    <message>
        <source>关注</source>
        <translation>Notable</translation>
    </message>
    <message>
        <source>已知</source>
        <translation>Known</translation>
    </message>
    <message>
        <source>哈希(MD5)</source>
        <translation>Hash (MD5)</translation>
    </message>
</context>
<context>
    <name>FileListRow</name>
    <message>
        <source>%u个簇已被占用</source>
        <translation>%u clusters already in use</translation>
    </message>
    <message>
        <source>文件名</source>
        <translation>File name</translation>
    </message>
    <message>
        <source>创建时间</source>
        <translation>Created</translation>
    </message>
    <message>
        <source>修改时间</source>
        <translation>Modified</translation>
    </message>
    <message>
        <source>访问时间</source>
        <translation>Accessed</translation>
    </message>
    <message>
        <source>逻辑长度</source>
        <translation>Logical size</translation>
    </message>
    <message>
        <source>物理长度</source>
        <translation>Physical size</translation>
    </message>
    <message>
        <source>开始簇号</source>
        <translation>First cluster</translation>
    </message>
    <message>
        <source>开始扇区</source>
        <translation>First sector</translation>
    </message>
    <message>
        <source>说明</source>
        <translation>Remarks</translation>
    </message>
    <message>
        <source>全路径</source>
        <translation>Full path</translation>
    </message>
    <message>
        <source>只读</source>
        <translation>read-only</translation>
    </message>
    <message>
        <source>隐藏</source>
        <translation>hidden</translation>
    </message>
    <message>
        <source>系统</source>
        <translation>system</translation>
    </message>
    <message>
        <source>卷标</source>
        <translation>volume label</translation>
    </message>
    <message>
        <source>子目录</source>
        <translation>directory</translation>
    </message>
    <message>
        <source>存档</source>
        <translation>archive</translation>
    </message>
    <message>
        <source>修改2</source>
        <translation>modified 2</translation>
    </message>
</context>
<context>
    <name>FileListView</name>
    <message>
        <source>隐藏已知文件</source>
        <translation>Hide known files</translation>
    </message>
    <message>
        <source>导出...</source>
        <translation>Export...</translation>
    </message>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>修改开始簇号</source>
        <translation>Change first cluster</translation>
    </message>
    <message>
        <source>属性</source>
        <translation>Properties</translation>
    </message>
    <message>
        <source>创建文件失败:%s</source>
        <translation>Could not create the file: %s</translation>
    </message>
    <message>
        <source>导出</source>
        <translation>Export</translation>
    </message>
</context>
<context>
    <name>FolderExport</name>
    <message>
        <source>创建文件夹失败:%s</source>
        <translation>Could not create the folder: %s</translation>
    </message>
    <message>
        <source>文件夹层次过深:%s</source>
        <translation>Folders nested too deeply: %s</translation>
    </message>
    <message>
        <source>同名文件未导出:%s</source>
        <translation>File with the same name not exported: %s</translation>
    </message>
    <message>
        <source>文件已存在,未覆盖:%s</source>
        <translation>File exists, not overwritten: %s</translation>
    </message>
    <message>
        <source>创建文件失败:%s</source>
        <translation>Could not create the file: %s</translation>
    </message>
    <message>
        <source>%s: %llu 字节无法读取, 已填零 (%s)</source>
        <translation>%s: %llu bytes could not be read, filled with zeros (%s)</translation>
    </message>
    <message>
        <source>取出文件簇列表错误!</source>
        <translation>Error getting the file&apos;s cluster list!</translation>
    </message>
    <message>
        <source>读文件错!</source>
        <translation>Error reading the file!</translation>
    </message>
    <message>
        <source>写文件失败:</source>
        <translation>Could not write the file:</translation>
    </message>
    <message>
        <source>导出</source>
        <translation>Export</translation>
    </message>
</context>
<context>
    <name>HashSetPage</name>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>类别</source>
        <translation>Category</translation>
    </message>
    <message>
        <source>哈希数</source>
        <translation>Hashes</translation>
    </message>
    <message>
        <source>算法</source>
        <translation>Algorithm</translation>
    </message>
    <message>
        <source>导入时间</source>
        <translation>Imported</translation>
    </message>
    <message>
        <source>来源</source>
        <translation>Source</translation>
    </message>
    <message>
        <source>哈希集名称</source>
        <translation>Hash set name</translation>
    </message>
    <message>
        <source>已知 (可忽略)</source>
        <translation>Known (ignorable)</translation>
    </message>
    <message>
        <source>关注 (报警)</source>
        <translation>Notable (alert)</translation>
    </message>
    <message>
        <source>导入...</source>
        <translation>Import...</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>导入哈希集</source>
        <translation>Import hash set</translation>
    </message>
    <message>
        <source>NSRL RDS (SQLite 或 NSRLFile.txt)、hashdeep/md5deep 输出、每行一个 MD5/SHA-1/SHA-256 的列表</source>
        <translation>NSRL RDS (SQLite or NSRLFile.txt), hashdeep/md5deep output, or a list of one MD5/SHA-1/SHA-256 per line</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>关注</source>
        <translation>Notable</translation>
    </message>
    <message>
        <source>已知</source>
        <translation>Known</translation>
    </message>
    <message>
        <source>请输入哈希集名称!</source>
        <translation>Please enter a hash set name!</translation>
    </message>
    <message>
        <source>已导入 %1 个哈希到 &quot;%2&quot;, 跳过 %3 行</source>
        <translation>Imported %1 hashes into &quot;%2&quot;, skipped %3 lines</translation>
    </message>
</context>
<context>
    <name>HexGridCtrl</name>
    <message>
        <source>内存不足!</source>
        <translation>Out of memory!</translation>
    </message>
    <message>
        <source>请设好行列数!

行数*列数==缓冲大小</source>
        <translation>Please set the rows and columns!

rows * columns == buffer size</translation>
    </message>
    <message>
        <source>创建内存位图失败!</source>
        <translation>Could not create the memory bitmap!</translation>
    </message>
    <message>
        <source>磁盘浏览</source>
        <translation>Disk browser</translation>
    </message>
    <message>
        <source>导出...</source>
        <translation>Export...</translation>
    </message>
    <message>
        <source>导出...(加入文件尾)</source>
        <translation>Export... (append to file)</translation>
    </message>
    <message>
        <source>拷贝</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>十六进制拷贝</source>
        <translation>Copy as hexadecimal</translation>
    </message>
    <message>
        <source>位图拷贝</source>
        <translation>Copy as bitmap</translation>
    </message>
    <message>
        <source>打不开剪贴板!</source>
        <translation>Cannot open the clipboard!</translation>
    </message>
    <message>
        <source>导出</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>打不开文件!</source>
        <translation>Cannot open the file!</translation>
    </message>
    <message>
        <source>写文件出错!</source>
        <translation>Error writing the file!</translation>
    </message>
</context>
<context>
    <name>HitMatching</name>
    <message>
        <source>匹配 %s</source>
        <translation>Matching %s</translation>
    </message>
</context>
<context>
    <name>ItemRef</name>
    <message>
        <source>(已不存在)</source>
        <translation>(no longer exists)</translation>
    </message>
</context>
<context>
    <name>Keyword</name>
    <message>
        <source>关键字太长!</source>
        <translation>The keyword is too long!</translation>
    </message>
    <message>
        <source>缓冲太小!</source>
        <translation>The buffer is too small!</translation>
    </message>
    <message>
        <source>参数错!</source>
        <translation>Bad parameter!</translation>
    </message>
</context>
<context>
    <name>KeywordDialog</name>
    <message>
        <source>关键字</source>
        <translation>Keywords</translation>
    </message>
    <message>
        <source>增加关键字</source>
        <translation>Add keyword</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>类型</source>
        <translation>Type</translation>
    </message>
    <message>
        <source>正则表达式</source>
        <translation>Regular expression</translation>
    </message>
    <message>
        <source>查找方式</source>
        <translation>Search mode</translation>
    </message>
    <message>
        <source>不区分大小写</source>
        <translation>Ignore case</translation>
    </message>
    <message>
        <source>内容</source>
        <translation>Content</translation>
    </message>
    <message>
        <source>预览</source>
        <translation>Preview</translation>
    </message>
    <message>
        <source>ASCII为单字节编码
UNICODE为双字节编码
HEX为ASCII与十六进制混合, 十六进制以\x开头, 后跟两个十六进制字符
正则表达式按字节匹配, 每个匹配最长 1024 字节</source>
        <translation>ASCII is a single-byte encoding
UNICODE is a two-byte encoding
HEX mixes ASCII and hexadecimal; hexadecimal starts with \x followed by two hex digits
Regular expressions match bytes, each match at most 1024 bytes</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>关键字格式不对!</source>
        <translation>The keyword&apos;s format is not right!</translation>
    </message>
    <message>
        <source>正则表达式可以使用</source>
        <translation>The regular expression can be used</translation>
    </message>
    <message>
        <source>关键字名称不能为空!</source>
        <translation>The keyword name must not be empty!</translation>
    </message>
    <message>
        <source>关键字不能为空!</source>
        <translation>The keyword must not be empty!</translation>
    </message>
</context>
<context>
    <name>KeywordList</name>
    <message>
        <source>关键字列表第 %zu 行不是 UTF-8 文字</source>
        <translation>Keyword list line %zu is not UTF-8 text</translation>
    </message>
    <message>
        <source>关键字列表第 %zu 行: 关键字不能为空</source>
        <translation>Keyword list line %zu: the keyword must not be empty</translation>
    </message>
    <message>
        <source>关键字列表第 %zu 行: 关键字太长 (%zu 字节, 最多 %zu)</source>
        <translation>Keyword list line %zu: keyword too long (%zu bytes, at most %zu)</translation>
    </message>
    <message>
        <source>关键字列表第 %zu 行: 一次最多查找 %zu 个关键字</source>
        <translation>Keyword list line %zu: at most %zu keywords can be searched at once</translation>
    </message>
    <message>
        <source>关键字列表太大 (最多 %zu 字节): %s</source>
        <translation>Keyword list too large (at most %zu bytes): %s</translation>
    </message>
    <message>
        <source>关键字列表中没有关键字</source>
        <translation>The keyword list holds no keyword</translation>
    </message>
    <message>
        <source>关键字列表太大</source>
        <translation>The keyword list is too large</translation>
    </message>
    <message>
        <source>无法打开关键字列表 </source>
        <translation>Cannot open the keyword list </translation>
    </message>
</context>
<context>
    <name>KeywordSearch</name>
    <message>
        <source>找到 %llu 个</source>
        <translation>%llu found</translation>
    </message>
    <message>
        <source>搜索</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>关键字太长了!</source>
        <translation>The keyword is far too long!</translation>
    </message>
    <message>
        <source>扇区设置错误!</source>
        <translation>The sector settings are wrong!</translation>
    </message>
    <message>
        <source>计算错误22!</source>
        <translation>Calculation error 22!</translation>
    </message>
    <message>
        <source>查找关键字...</source>
        <translation>Searching for keywords...</translation>
    </message>
    <message>
        <source>匹配文件...</source>
        <translation>Matching files...</translation>
    </message>
    <message>
        <source>查找结果</source>
        <translation>Search results</translation>
    </message>
</context>
<context>
    <name>KeywordSearchWorker</name>
    <message>
        <source>%s: 只列出前 %llu 个查找结果, 另有 %llu 个未列出</source>
        <translation>%s: only the first %llu results are listed, %llu more are not</translation>
    </message>
    <message>
        <source>%s: 内存不足, 查找未完成</source>
        <translation>%s: out of memory, the search did not finish</translation>
    </message>
    <message>
        <source>%s: %llu 个扇区无法读取, 按零查找 (源字节 %s)</source>
        <translation>%s: %llu sectors could not be read, searched as zeros (source bytes %s)</translation>
    </message>
    <message>
        <source>  的查找结果</source>
        <translation> (search results)</translation>
    </message>
</context>
<context>
    <name>MainFrame</name>
    <message>
        <source>系统于 %s 启动</source>
        <translation>System started at %s</translation>
    </message>
    <message>
        <source>文件栏</source>
        <translation>File bar</translation>
    </message>
    <message>
        <source>输出栏</source>
        <translation>Output bar</translation>
    </message>
    <message>
        <source>打开(&amp;O)...</source>
        <translation>&amp;Open...</translation>
    </message>
    <message>
        <source>保存(&amp;S)</source>
        <translation>&amp;Save</translation>
    </message>
    <message>
        <source>另存为(&amp;A)...</source>
        <translation>Save &amp;As...</translation>
    </message>
    <message>
        <source>设备映射文件(&amp;D)...</source>
        <translation>&amp;Device map file...</translation>
    </message>
    <message>
        <source>退出(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>数据 ( 加入文件系统)</source>
        <translation>Data (add a file system)</translation>
    </message>
    <message>
        <source>加入数据</source>
        <translation>Add data</translation>
    </message>
    <message>
        <source>清除输出窗口数据</source>
        <translation>Clear the output window</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>关于 Delvora(&amp;A)...</source>
        <translation>&amp;About Delvora...</translation>
    </message>
    <message>
        <source>关于 Delvora</source>
        <translation>About Delvora</translation>
    </message>
    <message>
        <source>%1
磁盘检查与数据恢复工作站</source>
        <translation>%1
Disk examination and data recovery workstation</translation>
    </message>
    <message>
        <source>标准</source>
        <translation>Standard</translation>
    </message>
    <message>
        <source>输出</source>
        <translation>Output</translation>
    </message>
    <message>
        <source>文件(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>最近的文件</source>
        <translation>Recent files</translation>
    </message>
    <message>
        <source>编辑(&amp;E)</source>
        <translation>&amp;Edit</translation>
    </message>
    <message>
        <source>数据(&amp;D)</source>
        <translation>&amp;Data</translation>
    </message>
    <message>
        <source>搜索(&amp;S)</source>
        <translation>&amp;Search</translation>
    </message>
    <message>
        <source>搜索残余文件(&amp;R)</source>
        <translation>Search for &amp;residual files</translation>
    </message>
    <message>
        <source>在选中的卷里查找残余文件</source>
        <translation>Search the selected volume for residual files</translation>
    </message>
    <message>
        <source>搜索已加载的文件</source>
        <translation>Search loaded files</translation>
    </message>
    <message>
        <source>搜索HTML文件</source>
        <translation>Search HTML files</translation>
    </message>
    <message>
        <source>搜索DOC文件</source>
        <translation>Search DOC files</translation>
    </message>
    <message>
        <source>计算哈希</source>
        <translation>Compute hashes</translation>
    </message>
    <message>
        <source>计算选中的卷或文件夹里每个文件的MD5、SHA-1和SHA-256, 并在哈希集里查找</source>
        <translation>Compute MD5, SHA-1 and SHA-256 of every file in the selected volume or folder and look them up in the hash sets</translation>
    </message>
    <message>
        <source>查看(&amp;V)</source>
        <translation>&amp;View</translation>
    </message>
    <message>
        <source>工具栏(&amp;T)</source>
        <translation>&amp;Toolbar</translation>
    </message>
    <message>
        <source>状态栏(&amp;S)</source>
        <translation>&amp;Status bar</translation>
    </message>
    <message>
        <source>浏览栏(&amp;B)</source>
        <translation>&amp;Browse bar</translation>
    </message>
    <message>
        <source>窗口(&amp;W)</source>
        <translation>&amp;Window</translation>
    </message>
    <message>
        <source>层叠(&amp;C)</source>
        <translation>&amp;Cascade</translation>
    </message>
    <message>
        <source>平铺(&amp;T)</source>
        <translation>&amp;Tile</translation>
    </message>
    <message>
        <source>帮助(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>托盘菜单</source>
        <translation>Tray menu</translation>
    </message>
    <message>
        <source>显示窗口(&amp;H)</source>
        <translation>S&amp;how window</translation>
    </message>
    <message>
        <source>隐藏窗口(&amp;S)</source>
        <translation>Hide &amp;window</translation>
    </message>
    <message>
        <source>创建选择按钮失败</source>
        <translation>Could not create the choice button</translation>
    </message>
    <message>
        <source>没有用户手册!</source>
        <translation>No user manual!</translation>
    </message>
    <message>
        <source>设备映射文件</source>
        <translation>Device map file</translation>
    </message>
    <message>
        <source>设备映射: </source>
        <translation>Device map: </translation>
    </message>
    <message>
        <source>请先在案例树中选择一个卷!</source>
        <translation>Please choose a volume in the case tree first!</translation>
    </message>
    <message>
        <source>等待线程退出...</source>
        <translation>Waiting for the worker to finish...</translation>
    </message>
</context>
<context>
    <name>MainFramePlacement</name>
    <message>
        <source>选项...</source>
        <translation>Options...</translation>
    </message>
    <message>
        <source>分析卷、加载卷和导出文件夹的选项</source>
        <translation>Options for analysing and loading volumes and exporting folders</translation>
    </message>
    <message>
        <source>属性</source>
        <translation>Properties</translation>
    </message>
    <message>
        <source>修改开始簇号</source>
        <translation>Change first cluster</translation>
    </message>
    <message>
        <source>请选择一个文件!</source>
        <translation>Please choose a file!</translation>
    </message>
</context>
<context>
    <name>ManualWindow</name>
    <message>
        <source>用户手册</source>
        <translation>User manual</translation>
    </message>
</context>
<context>
    <name>Notifier</name>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
</context>
<context>
    <name>NtfsAttributeInfo</name>
    <message>
        <source>取出第一个属性的偏移位置出错,位于 MFT %d , GetAttributeInfo函数,但强制设为 offsize = 48</source>
        <translation>Error getting the first attribute&apos;s offset in MFT %d (GetAttributeInfo); forced to offsize = 48</translation>
    </message>
    <message>
        <source>取出第一个属性的偏移位置出错,位于 MFT %d , GetAttributeInfo函数,但强制设为 offsize = 56</source>
        <translation>Error getting the first attribute&apos;s offset in MFT %d (GetAttributeInfo); forced to offsize = 56</translation>
    </message>
    <message>
        <source>取出第一个属性的偏移位置出错,位于 MFT %d , GetAttributeInfo函数,无法强制转换</source>
        <translation>Error getting the first attribute&apos;s offset in MFT %d (GetAttributeInfo); cannot be forced</translation>
    </message>
    <message>
        <source>取出第一个属性的偏移位置出错,位于 MFT %d , GetAttributeInfo函数,但强制设为 OffSize = 48</source>
        <translation>Error getting the first attribute&apos;s offset in MFT %d (GetAttributeInfo); forced to OffSize = 48</translation>
    </message>
    <message>
        <source>取出第一个属性的偏移位置出错,位于 MFT %d , GetAttributeInfo函数,但强制设为 OffSize = 56</source>
        <translation>Error getting the first attribute&apos;s offset in MFT %d (GetAttributeInfo); forced to OffSize = 56</translation>
    </message>
    <message>
        <source>文件名属性错 MFT:%d</source>
        <translation>File name attribute error, MFT: %d</translation>
    </message>
    <message>
        <source>MFT %d 记录的更新序列号不符, 已跳过该记录</source>
        <translation>MFT record %d: update sequence number mismatch, record skipped</translation>
    </message>
    <message>
        <source>取出第一个属性的偏移位置出错,位于 GetAttributeInfo</source>
        <translation>Error getting the first attribute&apos;s offset (GetAttributeInfo)</translation>
    </message>
</context>
<context>
    <name>NtfsFileCollect</name>
    <message>
        <source>取出第一个属性的偏移位置出错!位于GetRunArray函数</source>
        <translation>Error getting the first attribute&apos;s offset! (GetRunArray)</translation>
    </message>
</context>
<context>
    <name>NtfsItemData</name>
    <message>
        <source>取文件数据块错误:dwSizeAll&lt;dwSizeAvail,文件名:%s</source>
        <translation>Error getting the file&apos;s data runs: dwSizeAll&lt;dwSizeAvail, file name: %s</translation>
    </message>
    <message>
        <source>获取数据错!</source>
        <translation>Error getting data!</translation>
    </message>
</context>
<context>
    <name>NtfsLoader</name>
    <message>
        <source>取出第一个属性的偏移位置出错,位于 %d 扇区,分析文件系统失败!</source>
        <translation>Error getting the first attribute&apos;s offset at sector %d; the file system could not be analysed!</translation>
    </message>
    <message>
        <source>分配簇使用位图失败!</source>
        <translation>Could not allocate the cluster usage bitmap!</translation>
    </message>
</context>
<context>
    <name>NtfsResidual</name>
    <message>
        <source>查找残余文件...</source>
        <translation>Searching for residual files...</translation>
    </message>
    <message>
        <source>找到 %zu 个</source>
        <translation>%zu found</translation>
    </message>
    <message>
        <source>正在调整文件夹...</source>
        <translation>Arranging folders...</translation>
    </message>
</context>
<context>
    <name>OpenVolume</name>
    <message>
        <source>FAT%d文件系统,位于 %s ,%llu 扇区</source>
        <translation>FAT%d file system on %s at sector %llu</translation>
    </message>
    <message>
        <source>NTFS文件系统,位于 %s ,%llu 扇区</source>
        <translation>NTFS file system on %s at sector %llu</translation>
    </message>
    <message>
        <source>EXT2文件系统,位于 %s , %llu 扇区.</source>
        <translation>EXT2 file system on %s at sector %llu.</translation>
    </message>
    <message>
        <source>exFAT文件系统,位于 %s ,%llu 扇区</source>
        <translation>exFAT file system on %s at sector %llu</translation>
    </message>
    <message>
        <source>内存不足,文件系统未能全部加载!</source>
        <translation>Out of memory; the file system was not loaded completely!</translation>
    </message>
    <message>
        <source>加载文件系统出错: %s</source>
        <translation>Error loading the file system: %s</translation>
    </message>
    <message>
        <source>加载</source>
        <translation>Loading</translation>
    </message>
    <message>
        <source>未知格式的文件系统,结果失败!</source>
        <translation>Unknown file system format; analysis failed!</translation>
    </message>
    <message>
        <source>分析文件系统出错!</source>
        <translation>Error analysing the file system!</translation>
    </message>
    <message>
        <source> 在分析文件系统过程中出现错误,无法加载!</source>
        <translation> An error occurred while analysing the file system; it cannot be loaded!</translation>
    </message>
    <message>
        <source>系统于 %s 加载</source>
        <translation>At %s loaded </translation>
    </message>
</context>
<context>
    <name>Options</name>
    <message>
        <source>%s所用的非默认选项: %s</source>
        <translation>Options other than the defaults used for %s: %s</translation>
    </message>
</context>
<context>
    <name>OptionsDialog</name>
    <message>
        <source>选项</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>分析卷</source>
        <translation>Analyse volume</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>Files</translation>
    </message>
    <message>
        <source>搜索已加载的文件</source>
        <translation>Search loaded files</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>忽略时间为 00:00:00</source>
        <translation>Ignore time 00:00:00</translation>
    </message>
    <message>
        <source>日期</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>忽略日期为 1980-01-01</source>
        <translation>Ignore date 1980-01-01</translation>
    </message>
    <message>
        <source>文件夹</source>
        <translation>Folders</translation>
    </message>
    <message>
        <source>忽略簇首不指向父文件夹</source>
        <translation>Ignore a first cluster that does not point to the parent folder</translation>
    </message>
    <message>
        <source>HTML文件</source>
        <translation>HTML files</translation>
    </message>
    <message>
        <source>搜索HTML文件</source>
        <translation>Search HTML files</translation>
    </message>
    <message>
        <source>DOC文件</source>
        <translation>DOC files</translation>
    </message>
    <message>
        <source>搜索DOC文件</source>
        <translation>Search DOC files</translation>
    </message>
    <message>
        <source>空闲簇</source>
        <translation>Free clusters</translation>
    </message>
    <message>
        <source>只在空闲簇中搜索文件</source>
        <translation>Search for files in free clusters only</translation>
    </message>
    <message>
        <source>加载卷</source>
        <translation>Load volume</translation>
    </message>
    <message>
        <source>校验已删除的文件夹</source>
        <translation>Verify deleted folders</translation>
    </message>
    <message>
        <source>已删除文件</source>
        <translation>Deleted files</translation>
    </message>
    <message>
        <source>跳过已分配的簇</source>
        <translation>Skip allocated clusters</translation>
    </message>
    <message>
        <source>导出文件夹</source>
        <translation>Export folder</translation>
    </message>
    <message>
        <source>命名</source>
        <translation>Naming</translation>
    </message>
    <message>
        <source>自动命名同名文件</source>
        <translation>Rename files with the same name automatically</translation>
    </message>
    <message>
        <source>不导出的扩展名</source>
        <translation>Extensions not exported</translation>
    </message>
    <message>
        <source>忽略文件名以开头</source>
        <translation>Ignore file names starting with</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>应用</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>恢复默认值</source>
        <translation>Restore defaults</translation>
    </message>
    <message>
        <source>哈希集</source>
        <translation>Hash sets</translation>
    </message>
    <message>
        <source>自动</source>
        <translation>Automatic</translation>
    </message>
    <message>
        <source>语言</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>下次启动时生效</source>
        <translation>takes effect at the next start</translation>
    </message>
    <message>
        <source>%1文件</source>
        <translation>%1 files</translation>
    </message>
    <message>
        <source>搜索%1文件</source>
        <translation>Search %1 files</translation>
    </message>
</context>
<context>
    <name>PagedDataCtrl</name>
    <message>
        <source>拷贝(&amp;C)</source>
        <translation>&amp;Copy</translation>
    </message>
    <message>
        <source>十六进制拷贝(&amp;T)</source>
        <translation>Copy as &amp;hexadecimal</translation>
    </message>
</context>
<context>
    <name>Placement</name>
    <message>
        <source>开始簇号 %llu 不在卷内!</source>
        <translation>First cluster %llu is not in the volume!</translation>
    </message>
    <message>
        <source>开始扇区 %llu 超出设备范围 (%llu 扇区)!</source>
        <translation>First sector %llu is past the end of the device (%llu sectors)!</translation>
    </message>
</context>
<context>
    <name>ProgressPane</name>
    <message>
        <source>进度</source>
        <translation>Progress</translation>
    </message>
    <message>
        <source>双击可停止当前操作</source>
        <translation>Double-click to stop the current operation</translation>
    </message>
</context>
<context>
    <name>PropertiesDialog</name>
    <message>
        <source>属性</source>
        <translation>Properties</translation>
    </message>
    <message>
        <source>设备信息</source>
        <translation>Device information</translation>
    </message>
    <message>
        <source>设备名称</source>
        <translation>Device name</translation>
    </message>
    <message>
        <source>大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>镜像格式</source>
        <translation>Image format</translation>
    </message>
    <message>
        <source>每扇区字节数</source>
        <translation>Bytes per sector</translation>
    </message>
    <message>
        <source>分区方案</source>
        <translation>Partition scheme</translation>
    </message>
    <message>
        <source>案件编号</source>
        <translation>Case number</translation>
    </message>
    <message>
        <source>证据编号</source>
        <translation>Evidence number</translation>
    </message>
    <message>
        <source>检验人</source>
        <translation>Examiner</translation>
    </message>
    <message>
        <source>描述</source>
        <translation>Description</translation>
    </message>
    <message>
        <source>备注</source>
        <translation>Notes</translation>
    </message>
    <message>
        <source>获取日期</source>
        <translation>Acquisition date</translation>
    </message>
    <message>
        <source>获取软件</source>
        <translation>Acquisition software</translation>
    </message>
    <message>
        <source>卷信息</source>
        <translation>Volume information</translation>
    </message>
    <message>
        <source>卷类型</source>
        <translation>Volume type</translation>
    </message>
    <message>
        <source>开始扇区数</source>
        <translation>First sector</translation>
    </message>
    <message>
        <source>扇区数</source>
        <translation>Sectors</translation>
    </message>
    <message>
        <source>每簇扇区数</source>
        <translation>Sectors per cluster</translation>
    </message>
    <message>
        <source>文件信息</source>
        <translation>File information</translation>
    </message>
    <message>
        <source>文件名称</source>
        <translation>File name</translation>
    </message>
    <message>
        <source>文件类型</source>
        <translation>File type</translation>
    </message>
    <message>
        <source>文件夹</source>
        <translation>Folders</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>Files</translation>
    </message>
    <message>
        <source>创建时间</source>
        <translation>Created</translation>
    </message>
    <message>
        <source>修改时间</source>
        <translation>Modified</translation>
    </message>
    <message>
        <source>访问时间</source>
        <translation>Accessed</translation>
    </message>
    <message>
        <source>文件位置</source>
        <translation>File location</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>应用</source>
        <translation>Apply</translation>
    </message>
</context>
<context>
    <name>RemoteConnect</name>
    <message>
        <source>连接 %s 失败: %s</source>
        <translation>Connecting to %s failed: %s</translation>
    </message>
    <message>
        <source>已连接 %s: 未给用户名和密码, 连接未加密</source>
        <translation>Connected to %s: no user name and password given, the connection is not encrypted</translation>
    </message>
    <message>
        <source>已连接 %s: TLS-PSK 加密, 用户 %s</source>
        <translation>Connected to %s: TLS-PSK encrypted, user %s</translation>
    </message>
    <message>
        <source>请输入服务器名</source>
        <translation>Please enter the server name</translation>
    </message>
    <message>
        <source>找不到服务器!</source>
        <translation>Server not found!</translation>
    </message>
    <message>
        <source>服务器名称错,或该服务器没有本服务</source>
        <translation>Wrong server name, or the server does not offer this service</translation>
    </message>
    <message>
        <source>取得接口错误! 错误值 %d</source>
        <translation>Error getting the interface! Error value %d</translation>
    </message>
</context>
<context>
    <name>RemoteKeyDialog</name>
    <message>
        <source>连接远程驱动器</source>
        <translation>Connect to a remote drive</translation>
    </message>
    <message>
        <source>用户名</source>
        <translation>User name</translation>
    </message>
    <message>
        <source>密  码</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>服务器 %1 只接受加密连接, 请输入用户名和密码:</source>
        <translation>The server %1 accepts only encrypted connections; please enter the user name and password:</translation>
    </message>
</context>
<context>
    <name>ResidualSearch</name>
    <message>
        <source>搜索残余文件时有 %llu 个扇区无法读取, 按零处理 (源字节 %s)</source>
        <translation>%llu sectors could not be read during the residual search, treated as zeros (source bytes %s)</translation>
    </message>
    <message>
        <source>查找</source>
        <translation>Search</translation>
    </message>
</context>
<context>
    <name>ScreenshotTour</name>
    <message>
        <source>关键字2</source>
        <translation>Keyword 2</translation>
    </message>
    <message>
        <source>邮件地址</source>
        <translation>E-mail addresses</translation>
    </message>
    <message>
        <source>系统文件</source>
        <translation>System files</translation>
    </message>
    <message>
        <source>案件线索</source>
        <translation>Case leads</translation>
    </message>
</context>
<context>
    <name>ScriptFile</name>
    <message>
        <source>文件没有打开</source>
        <translation>the file is not open</translation>
    </message>
    <message>
        <source>访问 %s 时出错: %s</source>
        <translation>Error accessing %s: %s</translation>
    </message>
    <message>
        <source>%s 不是普通文件, 不能打开</source>
        <translation>%s is not a regular file and cannot be opened</translation>
    </message>
    <message>
        <source>%s 是被检查的介质, 不能写入</source>
        <translation>%s is an examined medium and cannot be written</translation>
    </message>
</context>
<context>
    <name>ScriptHighlighter</name>
    <message>
        <source>过长的代码,只判别 &lt; %1</source>
        <translation>Code too long; only the first %1 characters are coloured</translation>
    </message>
</context>
<context>
    <name>ScriptRun</name>
    <message>
        <source>第 %d 行: %s</source>
        <translation>Line %d: %s</translation>
    </message>
    <message>
        <source>脚本: %s</source>
        <translation>Script: %s</translation>
    </message>
    <message>
        <source>脚本占用内存超过 %llu MB, 已停止</source>
        <translation>The script used more than %llu MB of memory and was stopped</translation>
    </message>
    <message>
        <source>正常...</source>
        <translation>Ready...</translation>
    </message>
    <message>
        <source>创建脚本驱动对象...</source>
        <translation>Creating the script driver...</translation>
    </message>
    <message>
        <source>初始化JavaScript...</source>
        <translation>Starting JavaScript...</translation>
    </message>
    <message>
        <source>初始化JavaScript失败!</source>
        <translation>Could not start JavaScript!</translation>
    </message>
    <message>
        <source>添加 Delvora 命名项...</source>
        <translation>Adding the Delvora object...</translation>
    </message>
    <message>
        <source>添加 Delvora 命名项失败!</source>
        <translation>Could not add the Delvora object!</translation>
    </message>
    <message>
        <source>分析脚本中...</source>
        <translation>Parsing the script...</translation>
    </message>
    <message>
        <source>脚本: 超过 %zu 字节</source>
        <translation>Script: more than %zu bytes</translation>
    </message>
    <message>
        <source>分析脚本错误!</source>
        <translation>Error parsing the script!</translation>
    </message>
    <message>
        <source>脚本连接...</source>
        <translation>Connecting the script...</translation>
    </message>
    <message>
        <source>脚本连接失败</source>
        <translation>Could not connect the script</translation>
    </message>
    <message>
        <source>调用脚本入口函数 main ...</source>
        <translation>Calling the script&apos;s entry function main ...</translation>
    </message>
    <message>
        <source>关闭脚本...</source>
        <translation>Closing the script...</translation>
    </message>
</context>
<context>
    <name>ScriptView</name>
    <message>
        <source> 执行</source>
        <translation> Run</translation>
    </message>
    <message>
        <source> 停止</source>
        <translation> Stop</translation>
    </message>
    <message>
        <source>结果</source>
        <translation>Results</translation>
    </message>
    <message>
        <source>正常...</source>
        <translation>Ready...</translation>
    </message>
</context>
<context>
    <name>SearchCommands</name>
    <message>
        <source>增加关键字</source>
        <translation>Add keyword</translation>
    </message>
    <message>
        <source>修改关键字</source>
        <translation>Edit keyword</translation>
    </message>
    <message>
        <source>搜索 (搜索关键字)</source>
        <translation>Search (keywords)</translation>
    </message>
    <message>
        <source>搜索关键字</source>
        <translation>Search keywords</translation>
    </message>
    <message>
        <source>导入关键字...</source>
        <translation>Import keywords...</translation>
    </message>
    <message>
        <source>导出结果...</source>
        <translation>Export results...</translation>
    </message>
    <message>
        <source>导入关键字</source>
        <translation>Import keywords</translation>
    </message>
    <message>
        <source>关键字列表 (*.txt);;所有文件 (*)</source>
        <translation>Keyword lists (*.txt);;All files (*)</translation>
    </message>
    <message>
        <source>导出结果</source>
        <translation>Export results</translation>
    </message>
    <message>
        <source>结果.csv</source>
        <translation>results.csv</translation>
    </message>
    <message>
        <source>写入文件 </source>
        <translation>Writing the file </translation>
    </message>
</context>
<context>
    <name>SearchDialog</name>
    <message>
        <source>查找关键字</source>
        <translation>Search keywords</translation>
    </message>
    <message>
        <source>关键字</source>
        <translation>Keywords</translation>
    </message>
    <message>
        <source>内容</source>
        <translation>Content</translation>
    </message>
    <message>
        <source>设备名</source>
        <translation>Device name</translation>
    </message>
    <message>
        <source>卷名</source>
        <translation>Volume name</translation>
    </message>
    <message>
        <source>起始扇区</source>
        <translation>Start sector</translation>
    </message>
    <message>
        <source>结束扇区</source>
        <translation>End sector</translation>
    </message>
    <message>
        <source>扇区范围</source>
        <translation>Sector range</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>设备</source>
        <translation>Devices</translation>
    </message>
    <message>
        <source>请选择关键字!</source>
        <translation>Please choose keywords!</translation>
    </message>
    <message>
        <source>请选择设备!</source>
        <translation>Please choose a device!</translation>
    </message>
    <message>
        <source>没有选择关键字!</source>
        <translation>No keyword chosen!</translation>
    </message>
    <message>
        <source>没有选择设备!</source>
        <translation>No device chosen!</translation>
    </message>
    <message>
        <source>搜索范围设置错误!</source>
        <translation>The search range is not right!</translation>
    </message>
</context>
<context>
    <name>SearchResultsModel</name>
    <message>
        <source>序号</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>命中文字</source>
        <translation>Hit text</translation>
    </message>
    <message>
        <source>簇号/扇区</source>
        <translation>Cluster/sector</translation>
    </message>
    <message>
        <source>偏移</source>
        <translation>Offset</translation>
    </message>
    <message>
        <source>匹配文件</source>
        <translation>Matching file</translation>
    </message>
</context>
<context>
    <name>SearchTerms</name>
    <message>
        <source>第 %zu 字节不是 UTF-8 文字</source>
        <translation>Byte %zu is not UTF-8 text</translation>
    </message>
    <message>
        <source>第 %zu 字节: 字符类中只能用 ASCII 字符</source>
        <translation>Byte %zu: only ASCII characters may stand in a character class</translation>
    </message>
    <message>
        <source>第 %zu 字节的字符在 %s 中没有</source>
        <translation>The character at byte %zu does not exist in %s</translation>
    </message>
    <message>
        <source>正则表达式 %s 不能使用: %s</source>
        <translation>The regular expression %s cannot be used: %s</translation>
    </message>
</context>
<context>
    <name>SectorRegionVolume</name>
    <message>
        <source>查找残余文件...</source>
        <translation>Searching for residual files...</translation>
    </message>
    <message>
        <source>找到 %zu 个</source>
        <translation>%zu found</translation>
    </message>
</context>
<context>
    <name>Splash</name>
    <message>
        <source>磁盘检查与数据恢复</source>
        <translation>Disk examination and data recovery</translation>
    </message>
</context>
<context>
    <name>StartClusterDialog</name>
    <message>
        <source>保存修改</source>
        <translation>Save changes</translation>
    </message>
    <message>
        <source>修改文件开始簇号</source>
        <translation>Change the file&apos;s first cluster</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>开始簇号</source>
        <translation>First cluster</translation>
    </message>
    <message>
        <source>低16位</source>
        <translation>Low 16 bits</translation>
    </message>
    <message>
        <source>高16位</source>
        <translation>High 16 bits</translation>
    </message>
    <message>
        <source>文件名</source>
        <translation>File name</translation>
    </message>
    <message>
        <source>预览</source>
        <translation>Preview</translation>
    </message>
    <message>
        <source>参考簇号</source>
        <translation>Reference cluster</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>StatusPanes</name>
    <message>
        <source>查找结果            </source>
        <translation>Search results      </translation>
    </message>
    <message>
        <source>数字    </source>
        <translation>Number  </translation>
    </message>
    <message>
        <source>文件夹0,文件0                        </source>
        <translation>Folders 0, files 0                   </translation>
    </message>
    <message>
        <source>就绪</source>
        <translation>Ready</translation>
    </message>
</context>
<context>
    <name>TermMatcher</name>
    <message>
        <source>一次最多查找 %zu 个正则表达式 (每种编码各算一个), 这里有 %zu 个</source>
        <translation>At most %zu regular expressions can be searched at once (each encoding counts as one); there are %zu here</translation>
    </message>
    <message>
        <source>正则表达式 %s 最短也要匹配 %u 字节, 超过匹配长度上限 %u</source>
        <translation>The regular expression %s matches at least %u bytes, more than the match length limit %u</translation>
    </message>
    <message>
        <source>正则表达式 %s 在第 %u 字节处不能使用 (%s 编码): %s</source>
        <translation>The regular expression %s cannot be used at byte %u (%s encoding): %s</translation>
    </message>
    <message>
        <source>正则表达式 %s 不能使用 (%s 编码): %s</source>
        <translation>The regular expression %s cannot be used (%s encoding): %s</translation>
    </message>
    <message>
        <source>关键字太多或太复杂, 无法一起查找: 需要 %zu 字节的状态</source>
        <translation>Too many or too complex keywords to search together: %zu bytes of state needed</translation>
    </message>
    <message>
        <source>关键字太多或太复杂, 无法一起查找: </source>
        <translation>Too many or too complex keywords to search together: </translation>
    </message>
    <message>
        <source>关键字太多或太复杂, 无法一起查找: 内存不足</source>
        <translation>Too many or too complex keywords to search together: out of memory</translation>
    </message>
</context>
<context>
    <name>TerminalProgress</name>
    <message>
        <source>%llu 个文件</source>
        <translation>%llu files</translation>
    </message>
    <message>
        <source>查找残余文件...</source>
        <translation>Searching for residual files...</translation>
    </message>
    <message>
        <source>正在导出文件...</source>
        <translation>Exporting files...</translation>
    </message>
</context>
<context>
    <name>TimeLineView</name>
    <message>
        <source>时间查询</source>
        <translation>Time query</translation>
    </message>
    <message>
        <source>包括子文件夹</source>
        <translation>Include subfolders</translation>
    </message>
    <message>
        <source>时间格式: 2003-06-29 04:14:26</source>
        <translation>Time format: 2003-06-29 04:14:26</translation>
    </message>
    <message>
        <source>创建时间</source>
        <translation>Created</translation>
    </message>
    <message>
        <source>修改时间</source>
        <translation>Modified</translation>
    </message>
    <message>
        <source>访问时间</source>
        <translation>Accessed</translation>
    </message>
</context>
<context>
    <name>TimeLineWidget</name>
    <message>
        <source>时间线菜单</source>
        <translation>Time line menu</translation>
    </message>
    <message>
        <source>放大</source>
        <translation>Zoom in</translation>
    </message>
    <message>
        <source>缩小</source>
        <translation>Zoom out</translation>
    </message>
    <message>
        <source>格子增大</source>
        <translation>Larger cells</translation>
    </message>
    <message>
        <source>格子减小</source>
        <translation>Smaller cells</translation>
    </message>
    <message>
        <source>创建时间</source>
        <translation>Created</translation>
    </message>
    <message>
        <source>修改时间</source>
        <translation>Modified</translation>
    </message>
    <message>
        <source>访问时间</source>
        <translation>Accessed</translation>
    </message>
    <message>
        <source>删除时间</source>
        <translation>Deleted</translation>
    </message>
</context>
<context>
    <name>ViewPrinting</name>
    <message>
        <source>…(只打印了前 %1 行)</source>
        <translation>… (only the first %1 lines printed)</translation>
    </message>
    <message>
        <source>案例项: </source>
        <translation>Case item: </translation>
    </message>
    <message>
        <source>卷: </source>
        <translation>Volume: </translation>
    </message>
    <message>
        <source>路径: </source>
        <translation>Path: </translation>
    </message>
    <message>
        <source>日期: </source>
        <translation>Date: </translation>
    </message>
    <message>
        <source>第 %1 页</source>
        <translation>Page %1</translation>
    </message>
</context>
<context>
    <name>ViewSet</name>
    <message>
        <source>文本视图</source>
        <translation>Text view</translation>
    </message>
    <message>
        <source>十六进制视图</source>
        <translation>Hex view</translation>
    </message>
    <message>
        <source>文件列表视图</source>
        <translation>File list view</translation>
    </message>
    <message>
        <source>列表视图</source>
        <translation>List view</translation>
    </message>
    <message>
        <source>图像视图</source>
        <translation>Picture view</translation>
    </message>
    <message>
        <source>图像列表视图</source>
        <translation>Picture list view</translation>
    </message>
    <message>
        <source>扇区察看视图</source>
        <translation>Sector view</translation>
    </message>
    <message>
        <source>扇区视图</source>
        <translation>Sector view</translation>
    </message>
    <message>
        <source>网页视图</source>
        <translation>Web view</translation>
    </message>
    <message>
        <source>综合视图</source>
        <translation>Combined view</translation>
    </message>
    <message>
        <source>时间线视图</source>
        <translation>Time line view</translation>
    </message>
    <message>
        <source>脚本编程视图</source>
        <translation>Script view</translation>
    </message>
    <message>
        <source>报表视图</source>
        <translation>Report view</translation>
    </message>
    <message>
        <source>打印...</source>
        <translation>Print...</translation>
    </message>
    <message>
        <source>打印预览</source>
        <translation>Print preview</translation>
    </message>
    <message>
        <source>拷贝(&amp;C)</source>
        <translation>&amp;Copy</translation>
    </message>
    <message>
        <source>十六进制拷贝(&amp;T)</source>
        <translation>Copy as &amp;hexadecimal</translation>
    </message>
</context>
<context>
    <name>VirtualVolumePage</name>
    <message>
        <source>预读</source>
        <translation>Read ahead</translation>
    </message>
    <message>
        <source>搜索标志</source>
        <translation>Search markers</translation>
    </message>
    <message>
        <source>虚拟卷</source>
        <translation>Virtual volume</translation>
    </message>
    <message>
        <source>项</source>
        <translation>Item</translation>
    </message>
    <message>
        <source>值</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>重要</source>
        <translation>Important</translation>
    </message>
    <message>
        <source>驱动器</source>
        <translation>Drive</translation>
    </message>
    <message>
        <source>卷名称</source>
        <translation>Volume name</translation>
    </message>
    <message>
        <source>开始扇区</source>
        <translation>First sector</translation>
    </message>
    <message>
        <source>卷类型</source>
        <translation>Volume type</translation>
    </message>
    <message>
        <source>打不开设备!</source>
        <translation>Cannot open the device!</translation>
    </message>
    <message>
        <source>卷或设备名不能空!</source>
        <translation>The volume or device name must not be empty!</translation>
    </message>
</context>
<context>
    <name>VolumeArg</name>
    <message>
        <source>分析文件系统耗时: %d 毫秒</source>
        <translation>File system analysed in %d ms</translation>
    </message>
</context>
<context>
    <name>VolumeParams</name>
    <message>
        <source>每扇区字节数</source>
        <translation>Bytes per sector</translation>
    </message>
    <message>
        <source>每簇扇区数</source>
        <translation>Sectors per cluster</translation>
    </message>
    <message>
        <source>保留扇区数</source>
        <translation>Reserved sectors</translation>
    </message>
    <message>
        <source>FAT备份数</source>
        <translation>Number of FATs</translation>
    </message>
    <message>
        <source>根目录项数</source>
        <translation>Root directory entries</translation>
    </message>
    <message>
        <source>每FAT扇区数</source>
        <translation>Sectors per FAT</translation>
    </message>
    <message>
        <source>物理驱动器数</source>
        <translation>Physical drive number</translation>
    </message>
    <message>
        <source>总扇区数</source>
        <translation>Total sectors</translation>
    </message>
    <message>
        <source>磁盘总扇区数</source>
        <translation>Total sectors (16-bit)</translation>
    </message>
    <message>
        <source>特殊隐含扇区数</source>
        <translation>Hidden sectors</translation>
    </message>
    <message>
        <source>OEM号</source>
        <translation>OEM name</translation>
    </message>
    <message>
        <source>描述介质</source>
        <translation>Media descriptor</translation>
    </message>
    <message>
        <source>磁头数</source>
        <translation>Heads</translation>
    </message>
    <message>
        <source>每磁道扇区数</source>
        <translation>Sectors per track</translation>
    </message>
    <message>
        <source>扩展引导签证</source>
        <translation>Extended boot signature</translation>
    </message>
    <message>
        <source>卷系列号</source>
        <translation>Volume serial number</translation>
    </message>
    <message>
        <source>卷标号</source>
        <translation>Volume label</translation>
    </message>
    <message>
        <source>文件系统号</source>
        <translation>File system type</translation>
    </message>
    <message>
        <source>扇区总数</source>
        <translation>Total sectors</translation>
    </message>
    <message>
        <source>主文件表的逻辑簇号</source>
        <translation>MFT logical cluster number</translation>
    </message>
    <message>
        <source>索引节点数</source>
        <translation>Inode count</translation>
    </message>
    <message>
        <source>以块为单位的文件系统的大小</source>
        <translation>File system size in blocks</translation>
    </message>
    <message>
        <source>块的大小</source>
        <translation>Block size</translation>
    </message>
    <message>
        <source>每组中的块数</source>
        <translation>Blocks per group</translation>
    </message>
    <message>
        <source>每组中的节点数</source>
        <translation>Inodes per group</translation>
    </message>
    <message>
        <source>第一个索引节点表的块号</source>
        <translation>Block of the first inode table</translation>
    </message>
    <message>
        <source>每扇区字节数位移</source>
        <translation>Bytes per sector shift</translation>
    </message>
    <message>
        <source>每簇扇区数位移</source>
        <translation>Sectors per cluster shift</translation>
    </message>
    <message>
        <source>FAT偏移扇区数</source>
        <translation>FAT offset (sectors)</translation>
    </message>
    <message>
        <source>簇堆偏移扇区数</source>
        <translation>Cluster heap offset (sectors)</translation>
    </message>
    <message>
        <source>簇数</source>
        <translation>Cluster count</translation>
    </message>
    <message>
        <source>根目录首簇号</source>
        <translation>Root directory first cluster</translation>
    </message>
    <message>
        <source>FAT个数</source>
        <translation>Number of FATs</translation>
    </message>
    <message>
        <source>卷扇区总数</source>
        <translation>Volume length (sectors)</translation>
    </message>
    <message>
        <source>每扇区字节数错!</source>
        <translation>Bytes per sector is wrong!</translation>
    </message>
    <message>
        <source>每簇扇区数错!</source>
        <translation>Sectors per cluster is wrong!</translation>
    </message>
    <message>
        <source>保留扇区数错!</source>
        <translation>Reserved sectors is wrong!</translation>
    </message>
    <message>
        <source>FAT备份数错!</source>
        <translation>Number of FATs is wrong!</translation>
    </message>
    <message>
        <source>根目录项数错!</source>
        <translation>Root directory entries is wrong!</translation>
    </message>
    <message>
        <source>每FAT扇区数错!</source>
        <translation>Sectors per FAT is wrong!</translation>
    </message>
    <message>
        <source>物理驱动器数错!</source>
        <translation>Physical drive number is wrong!</translation>
    </message>
    <message>
        <source>总扇区数错!</source>
        <translation>Total sectors is wrong!</translation>
    </message>
    <message>
        <source>主文件表的逻辑簇号错!</source>
        <translation>MFT logical cluster number is wrong!</translation>
    </message>
    <message>
        <source>每扇区字节数位移错!</source>
        <translation>Bytes per sector shift is wrong!</translation>
    </message>
    <message>
        <source>每簇扇区数位移错!</source>
        <translation>Sectors per cluster shift is wrong!</translation>
    </message>
    <message>
        <source>FAT偏移扇区数错!</source>
        <translation>FAT offset is wrong!</translation>
    </message>
    <message>
        <source>簇堆偏移扇区数错!</source>
        <translation>Cluster heap offset is wrong!</translation>
    </message>
    <message>
        <source>簇数错!</source>
        <translation>Cluster count is wrong!</translation>
    </message>
    <message>
        <source>根目录首簇号错!</source>
        <translation>Root directory first cluster is wrong!</translation>
    </message>
    <message>
        <source>FAT个数错!</source>
        <translation>Number of FATs is wrong!</translation>
    </message>
</context>
</TS>
