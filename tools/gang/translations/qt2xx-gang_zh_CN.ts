<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>qt2xx::ScanArbiter</name>
    <message>
        <source>%1.</source>
        <extracomment>A reason made a sentence: the full stop of the language.</extracomment>
        <translation>%1。</translation>
    </message>
    <message>
        <source>Scanning has ended.</source>
        <translation>扫码已结束。</translation>
    </message>
    <message>
        <source>%1 does not match the order&apos;s serial pattern %2.</source>
        <translation>%1 不符合工单的序列号格式 %2。</translation>
    </message>
    <message>
        <source>%1 is already armed on slot %2.</source>
        <translation>%1 已分配给工位 %2。</translation>
    </message>
    <message>
        <source>The order needs no more units.</source>
        <translation>工单已不需要更多产品。</translation>
    </message>
    <message>
        <source>Every slot is busy.</source>
        <translation>所有工位都在忙。</translation>
    </message>
    <message>
        <source>No slot is ready: take out the finished units or wait for a slot.</source>
        <translation>没有就绪的工位：请取出已完成的产品，或等待工位空出。</translation>
    </message>
    <message>
        <source>%1 already has a finished record.</source>
        <translation>%1 已有完成记录。</translation>
    </message>
    <message>
        <source>No unit is in a slot: put one in, then scan.</source>
        <translation>工位中没有产品：请先放入产品，再扫码。</translation>
    </message>
    <message>
        <source>The unit of %1 was taken out of slot %2 before programming: scan it again.</source>
        <translation>%1 的产品在编程前已从工位 %2 取出：请重新扫码。</translation>
    </message>
</context>
<context>
    <name>qt2xx::SerialText</name>
    <message>
        <source>a line of %1 bytes is too long for a serial, which has at most %2 characters</source>
        <translation>%1 字节的一行对序列号来说太长，序列号最多 %2 个字符</translation>
    </message>
    <message>
        <source>%1 is not UTF-8 text</source>
        <translation>%1 不是 UTF-8 文本</translation>
    </message>
    <message>
        <source>the serial is empty</source>
        <translation>序列号为空</translation>
    </message>
    <message>
        <source>%1 is not valid text</source>
        <translation>%1 不是有效的文本</translation>
    </message>
    <message>
        <source>%1 has %2 characters, more than the %3 a serial may have</source>
        <translation>%1 有 %2 个字符，超过序列号允许的 %3 个</translation>
    </message>
    <message>
        <source>%1 holds the control character %2, which a serial may not</source>
        <translation>%1 含有控制字符 %2，序列号中不允许出现</translation>
    </message>
    <message>
        <source>%1 starts with &quot;%2&quot;, which a spreadsheet runs as a formula</source>
        <translation>%1 以“%2”开头，电子表格会把它当作公式执行</translation>
    </message>
</context>
<context>
    <name>qt2xx::StationSession</name>
    <message>
        <source>%1 and %2 name the same device %3</source>
        <translation>%1 和 %2 指向同一设备 %3</translation>
    </message>
    <message>
        <source>at least one port is needed</source>
        <translation>至少需要一个端口</translation>
    </message>
    <message>
        <source>records cannot be kept in %1: %2; nothing was programmed (--no-record runs without records)</source>
        <translation>无法在 %1 中保存记录：%2；未编程任何产品（--no-record 可不保存记录运行）</translation>
    </message>
    <message>
        <source>records cannot be read from %1: %2</source>
        <translation>无法从 %1 读取记录：%2</translation>
    </message>
    <message>
        <source>the record of order %1 cannot be read: %2</source>
        <translation>无法读取工单 %1 的记录：%2</translation>
    </message>
    <message>
        <source>records cannot be written to %1: %2; no controller is begun until they can</source>
        <translation>无法写入记录到 %1：%2；在能写入之前不会开始任何控制器</translation>
    </message>
    <message>
        <source>records are written again; the ports seek again</source>
        <translation>记录已恢复写入；端口重新开始查找</translation>
    </message>
    <message>
        <source>records are not forwarded to %1: %2</source>
        <translation>记录未转发到 %1：%2</translation>
    </message>
    <message>
        <source>records are forwarded to %1 again</source>
        <translation>记录已恢复转发到 %1</translation>
    </message>
    <message>
        <source>the count is made up; waiting for %1 record(s) to be written</source>
        <translation>数量已够；等待 %1 条记录写入</translation>
    </message>
    <message>
        <source>records are kept in %1</source>
        <translation>记录保存在 %1</translation>
    </message>
    <message>
        <source>records are forwarded to %1</source>
        <translation>记录转发到 %1</translation>
    </message>
    <message>
        <source>nothing to program</source>
        <translation>没有需要编程的产品</translation>
    </message>
    <message>
        <source>order %1 is complete: %2 of %3 units finished; nothing is programmed</source>
        <translation>工单 %1 已完成：%3 件中已完成 %2 件；不再编程</translation>
    </message>
    <message>
        <source>no port could be opened</source>
        <translation>没有能打开的端口</translation>
    </message>
    <message>
        <source>records not yet forwarded to %1 wait in the local database and go with the next start (qt2xx-records status)</source>
        <translation>尚未转发到 %1 的记录保存在本地数据库中，下次启动时发送（qt2xx-records status）</translation>
    </message>
    <message>
        <source>waiting up to %1 s for the last records to be written to %2</source>
        <translation>最多等待 %1 秒，将最后的记录写入 %2</translation>
    </message>
    <message>
        <source>some records could not be written to %1</source>
        <translation>部分记录无法写入 %1</translation>
    </message>
</context>
<context>
    <name>qt2xx::gang::GangWindow</name>
    <message>
        <source>qt2xx Gang Programming</source>
        <translation>qt2xx 多工位编程</translation>
    </message>
    <message>
        <source>Scan</source>
        <translation>扫码</translation>
    </message>
    <message>
        <source>No scan is needed: every slot seeks at once.</source>
        <translation>无需扫码：每个工位立即开始查找。</translation>
    </message>
    <message>
        <source>Start (F5)</source>
        <translation>开始 (F5)</translation>
    </message>
    <message>
        <source>Stop (F8)</source>
        <translation>停止 (F8)</translation>
    </message>
    <message>
        <source>Close (Ctrl+Q)</source>
        <translation>关闭 (Ctrl+Q)</translation>
    </message>
    <message>
        <source>S&amp;can:</source>
        <translation>扫码(&amp;C)：</translation>
    </message>
    <message>
        <source>Order: %1</source>
        <translation>工单：%1</translation>
    </message>
    <message>
        <source>none</source>
        <translation>无</translation>
    </message>
    <message>
        <source>Set: %1  %2</source>
        <translation>参数文件：%1  %2</translation>
    </message>
    <message>
        <source>Operator: %1</source>
        <translation>操作员：%1</translation>
    </message>
    <message>
        <source>Finished %1   Failed %2   First-pass yield %3</source>
        <translation>完成 %1   失败 %2   一次通过率 %3</translation>
    </message>
    <message>
        <source>No record is kept.</source>
        <translation>不保存记录。</translation>
    </message>
    <message>
        <source>Records cannot be written to %1: %2</source>
        <translation>记录无法写入 %1：%2</translation>
    </message>
    <message>
        <source>Records are kept in %1.</source>
        <translation>记录保存在 %1。</translation>
    </message>
    <message>
        <source>The server %1 is not reached (%2 waiting): %3</source>
        <translation>无法连接服务器 %1（%2 条等待中）：%3</translation>
    </message>
    <message>
        <source>%1 wait for the server %2.</source>
        <translation>%1 条记录等待发送到服务器 %2。</translation>
    </message>
    <message>
        <source>All are forwarded to %1.</source>
        <translation>全部已转发到 %1。</translation>
    </message>
    <message>
        <source>No slot waits for a scan: the set file programs every unit.</source>
        <translation>没有工位等待扫码：参数文件为每个单元编程。</translation>
    </message>
    <message>
        <source>Stop and close</source>
        <translation>停止并关闭</translation>
    </message>
    <message>
        <source>A unit is being programmed. Stop once the exchanges under way have finished, and close?</source>
        <translation>正在为单元编程。等待进行中的通信完成后停止并关闭吗？</translation>
    </message>
    <message>
        <source>Scan the label of the unit in the marked slot.</source>
        <translation>请扫描标记工位中产品的标签。</translation>
    </message>
    <message>
        <source>Order: %1  %2</source>
        <translation>工单：%1  %2</translation>
    </message>
    <message>
        <source>%1 / %2</source>
        <translation>%1 / %2</translation>
    </message>
    <message>
        <source>A line of %1 characters or more is too long for a serial, which has at most %2 characters.</source>
        <translation>%1 个字符及以上的一行对序列号来说太长，序列号最多 %2 个字符。</translation>
    </message>
    <message>
        <source>Labels: the queue cannot be read: %1</source>
        <translation>标签：无法读取队列：%1</translation>
    </message>
    <message>
        <source>Labels: %1 waiting: the printer %2 is not answering: %3</source>
        <translation>标签：%1 张等待中：打印机 %2 无响应：%3</translation>
    </message>
    <message>
        <source>Labels: %1 printed, %2 waiting on %3.</source>
        <translation>标签：已打印 %1 张，%2 张等待发往 %3。</translation>
    </message>
    <message>
        <source>Slots with a unit contact take no scan until the fixture answers again: %1</source>
        <translation>治具恢复响应之前，带产品检测触点的工位不接受扫码：%1</translation>
    </message>
</context>
<context>
    <name>qt2xx::gang::SlotTile</name>
    <message>
        <source>Stopped</source>
        <translation>已停止</translation>
    </message>
    <message>
        <source>Waiting for a scan</source>
        <translation>等待扫码</translation>
    </message>
    <message>
        <source>Seeking</source>
        <translation>查找中</translation>
    </message>
    <message>
        <source>Programming</source>
        <translation>编程中</translation>
    </message>
    <message>
        <source>Finished</source>
        <translation>完成</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>失败</translation>
    </message>
    <message>
        <source>Port not open</source>
        <translation>端口未打开</translation>
    </message>
    <message>
        <source>Port lost</source>
        <translation>端口丢失</translation>
    </message>
    <message>
        <source>Programming %1 %</source>
        <translation>编程中 %1 %</translation>
    </message>
    <message>
        <source>Slot %1  %2  (next scan)</source>
        <translation>工位 %1  %2  （下一次扫码）</translation>
    </message>
    <message>
        <source>Slot %1  %2</source>
        <translation>工位 %1  %2</translation>
    </message>
    <message>
        <source>Serial: none</source>
        <translation>序列号：无</translation>
    </message>
    <message>
        <source>Finished %1    Failed %2</source>
        <translation>完成 %1    失败 %2</translation>
    </message>
    <message>
        <source>Slot %1, %2, serial %3</source>
        <translation>工位 %1，%2，序列号 %3</translation>
    </message>
    <message>
        <source>none</source>
        <translation>无</translation>
    </message>
    <message>
        <source>Remove the unit</source>
        <translation>请取出产品</translation>
    </message>
    <message>
        <source>Checking</source>
        <translation>检查中</translation>
    </message>
    <message>
        <source>%1 s so far</source>
        <translation>已用 %1 秒</translation>
    </message>
    <message>
        <source>Took %1 s</source>
        <translation>用时 %1 秒</translation>
    </message>
</context>
<context>
    <name>qt2xx::gang::StartPage</name>
    <message>
        <source>&amp;Browse...</source>
        <translation>浏览(&amp;B)...</translation>
    </message>
    <message>
        <source>&amp;Look for adapters again</source>
        <translation>重新查找适配器(&amp;L)</translation>
    </message>
    <message>
        <source>&amp;Start</source>
        <translation>开始(&amp;S)</translation>
    </message>
    <message>
        <source>The work order (.json) or set file (.asv) to program</source>
        <translation>要编程的工单 (.json) 或参数文件 (.asv)</translation>
    </message>
    <message>
        <source>Type or scan the operator&apos;s id</source>
        <translation>输入或扫描操作员编号</translation>
    </message>
    <message>
        <source>Choose the work order or set file (Ctrl+O)</source>
        <translation>选择工单或参数文件 (Ctrl+O)</translation>
    </message>
    <message>
        <source>Slots</source>
        <translation>工位</translation>
    </message>
    <message>
        <source>Order or set &amp;file:</source>
        <translation>工单或参数文件(&amp;F)：</translation>
    </message>
    <message>
        <source>&amp;Operator:</source>
        <translation>操作员(&amp;O)：</translation>
    </message>
    <message>
        <source>S&amp;lots (Space ticks or unticks a slot):</source>
        <translation>工位(&amp;L)（空格键勾选或取消工位）：</translation>
    </message>
    <message>
        <source>  port %1</source>
        <translation>  端口 %1</translation>
    </message>
    <message>
        <source>  no port number</source>
        <translation>  无端口号</translation>
    </message>
    <message>
        <source>No serial adapter is connected.</source>
        <translation>未连接串口适配器。</translation>
    </message>
    <message>
        <source>Choose the work order or set file</source>
        <translation>选择工单或参数文件</translation>
    </message>
    <message>
        <source>Work orders and parameter sets (*.json *.asv);;All files (*)</source>
        <translation>工单和参数文件 (*.json *.asv);;所有文件 (*)</translation>
    </message>
</context>
</TS>
