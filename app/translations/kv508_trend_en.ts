<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>TLiveTrendWindow</name>
    <message>
        <source>1 min</source>
        <translation>1 min</translation>
    </message>
    <message>
        <source>10 min</source>
        <translation>10 min</translation>
    </message>
    <message>
        <source>1 h</source>
        <translation>1 h</translation>
    </message>
    <message>
        <source>All</source>
        <translation>All</translation>
    </message>
    <message>
        <source>%1 h %2 min</source>
        <translation>%1 h %2 min</translation>
    </message>
    <message>
        <source>%1 min %2 s</source>
        <translation>%1 min %2 s</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 — Live trend</source>
        <translation>%1 — Live trend</translation>
    </message>
    <message>
        <source>Span:</source>
        <translation>Span:</translation>
    </message>
    <message>
        <source>Show the last %1</source>
        <translation>Show the last %1</translation>
    </message>
    <message>
        <source>Show the whole history</source>
        <translation>Show the whole history</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Freeze the view; polls keep being recorded (Space)</source>
        <translation>Freeze the view; polls keep being recorded (Space)</translation>
    </message>
    <message>
        <source>Follow</source>
        <translation>Follow</translation>
    </message>
    <message>
        <source>Back to live: the view follows the newest poll (End)</source>
        <translation>Back to live: the view follows the newest poll (End)</translation>
    </message>
    <message>
        <source>Fit mA</source>
        <translation>Fit mA</translation>
    </message>
    <message>
        <source>Fit the current axis to the visible values instead of the 4–20 mA loop range</source>
        <translation>Fit the current axis to the visible values instead of the 4–20 mA loop range</translation>
    </message>
    <message>
        <source>Log to CSV</source>
        <translation>Log to CSV</translation>
    </message>
    <message>
        <source>Write every answered poll to a CSV file, one flushed row each</source>
        <translation>Write every answered poll to a CSV file, one flushed row each</translation>
    </message>
    <message>
        <source>File…</source>
        <translation>File…</translation>
    </message>
    <message>
        <source>Choose the CSV file (an existing log is appended to)</source>
        <translation>Choose the CSV file (an existing log is appended to)</translation>
    </message>
    <message>
        <source>min &lt;b&gt;%1&lt;/b&gt;%5max &lt;b&gt;%2&lt;/b&gt;%5mean &lt;b&gt;%3&lt;/b&gt; %4</source>
        <translation>min &lt;b&gt;%1&lt;/b&gt;%5max &lt;b&gt;%2&lt;/b&gt;%5mean &lt;b&gt;%3&lt;/b&gt; %4</translation>
    </message>
    <message>
        <source>no answered polls in view</source>
        <translation>no answered polls in view</translation>
    </message>
    <message numerus="yes">
        <source>, &lt;span style=&apos;color:%1&apos;&gt;&lt;b&gt;%n failed&lt;/b&gt;&lt;/span&gt;</source>
        <translation>
            <numerusform>, &lt;span style=&apos;color:%1&apos;&gt;&lt;b&gt;%n failed&lt;/b&gt;&lt;/span&gt;</numerusform>
            <numerusform>, &lt;span style=&apos;color:%1&apos;&gt;&lt;b&gt;%n failed&lt;/b&gt;&lt;/span&gt;</numerusform>
        </translation>
    </message>
    <message>
        <source>Log to CSV (an existing log is appended to)</source>
        <translation>Log to CSV (an existing log is appended to)</translation>
    </message>
    <message>
        <source>CSV files (*.csv);;All files (*)</source>
        <translation>CSV files (*.csv);;All files (*)</translation>
    </message>
    <message>
        <source>Choose a new file: rows are appended only to a log written by this window.</source>
        <translation>Choose a new file: rows are appended only to a log written by this window.</translation>
    </message>
    <message>
        <source>Free some disk space (or put the medium back), or choose another file with &quot;File…&quot;, then press &quot;Log to CSV&quot; again.</source>
        <translation>Free some disk space (or put the medium back), or choose another file with &quot;File…&quot;, then press &quot;Log to CSV&quot; again.</translation>
    </message>
    <message>
        <source>Choose a file in a folder you may write to, with &quot;File…&quot;.</source>
        <translation>Choose a file in a folder you may write to, with &quot;File…&quot;.</translation>
    </message>
    <message>
        <source>Choose a plain file (or the name of a new one) with &quot;File…&quot;.</source>
        <translation>Choose a plain file (or the name of a new one) with &quot;File…&quot;.</translation>
    </message>
    <message>
        <source>Choose another file with &quot;File…&quot;.</source>
        <translation>Choose another file with &quot;File…&quot;.</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>Logging stopped: %1.</source>
        <translation>Logging stopped: %1.</translation>
    </message>
    <message>
        <source>Logging did not start: %1.</source>
        <translation>Logging did not start: %1.</translation>
    </message>
    <message>
        <source>Rows in the file: %1.</source>
        <translation>Rows in the file: %1.</translation>
    </message>
    <message>
        <source>Answered polls not written: %1 (the trend still shows them).</source>
        <translation>Answered polls not written: %1 (the trend still shows them).</translation>
    </message>
    <message>
        <source>Opening %1…</source>
        <translation>Opening %1…</translation>
    </message>
    <message>
        <source>Not logging. &quot;Log to CSV&quot; writes time, pressure, mA and the five flags of every answered poll.</source>
        <translation>Not logging. &quot;Log to CSV&quot; writes time, pressure, mA and the five flags of every answered poll.</translation>
    </message>
    <message numerus="yes">
        <source>%n polls in %1</source>
        <translation>
            <numerusform>%n poll in %1</numerusform>
            <numerusform>%n polls in %1</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Logging to %1 (appending) — %n rows written</source>
        <translation>
            <numerusform>Logging to %1 (appending) — %n row written</numerusform>
            <numerusform>Logging to %1 (appending) — %n rows written</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Logging to %1 — %n rows written</source>
        <translation>
            <numerusform>Logging to %1 — %n row written</numerusform>
            <numerusform>Logging to %1 — %n rows written</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Not logging (last file: %1, %n rows this time).</source>
        <translation>
            <numerusform>Not logging (last file: %1, %n row this time).</numerusform>
            <numerusform>Not logging (last file: %1, %n rows this time).</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>TTrendPlot</name>
    <message>
        <source>Wheel: zoom; drag: pan (pauses); double click: back to live</source>
        <translation>Wheel: zoom; drag: pan (pauses); double click: back to live</translation>
    </message>
    <message>
        <source>Waiting for polls: open the port on the main window</source>
        <translation>Waiting for polls: open the port on the main window</translation>
    </message>
    <message>
        <source>No answered polls in this span</source>
        <translation>No answered polls in this span</translation>
    </message>
    <message>
        <source>Temperature [%1]</source>
        <translation>Temperature [%1]</translation>
    </message>
    <message>
        <source>Pressure [%1]</source>
        <translation>Pressure [%1]</translation>
    </message>
    <message>
        <source>Output [mA]</source>
        <translation>Output [mA]</translation>
    </message>
    <message>
        <source>failed poll</source>
        <translation>failed poll</translation>
    </message>
    <message>
        <source>● LIVE</source>
        <translation>● LIVE</translation>
    </message>
    <message>
        <source>❚❚ PAUSED</source>
        <translation>❚❚ PAUSED</translation>
    </message>
</context>
<context>
    <name>TrendLog</name>
    <message>
        <source>no error</source>
        <translation>no error</translation>
    </message>
    <message>
        <source>the file cannot be opened for writing</source>
        <translation>the file cannot be opened for writing</translation>
    </message>
    <message>
        <source>not a regular file (a pipe, FIFO, device or folder): no log is kept there</source>
        <translation>not a regular file (a pipe, FIFO, device or folder): no log is kept there</translation>
    </message>
    <message>
        <source>the existing file cannot be read to check its columns</source>
        <translation>the existing file cannot be read to check its columns</translation>
    </message>
    <message>
        <source>the existing file has other columns than this log</source>
        <translation>the existing file has other columns than this log</translation>
    </message>
    <message>
        <source>a row could not be written</source>
        <translation>a row could not be written</translation>
    </message>
    <message>
        <source>no log file is open</source>
        <translation>no log file is open</translation>
    </message>
    <message>
        <source>unknown error</source>
        <translation>unknown error</translation>
    </message>
</context>
</TS>
