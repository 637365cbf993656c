<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
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
        <source>Serial: %1</source>
        <translation>序列号：%1</translation>
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
