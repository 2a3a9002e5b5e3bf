<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>LineMonitor</name>
    <message>
        <source>Cannot create %1%2. Choose a folder you may write to.</source>
        <translation>Cannot create %1%2. Choose a folder you may write to.</translation>
    </message>
    <message>
        <source>Cannot write %1%2; nothing was saved and an existing file was left as it was. Free some disk space or choose another place.</source>
        <translation>Cannot write %1%2; nothing was saved and an existing file was left as it was. Free some disk space or choose another place.</translation>
    </message>
    <message>
        <source>Saving %1 was cancelled; nothing was saved.</source>
        <translation>Saving %1 was cancelled; nothing was saved.</translation>
    </message>
</context>
<context>
    <name>TLineMonitorWindow</name>
    <message>
        <source>Resume</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>All</source>
        <translation>All</translation>
    </message>
    <message>
        <source>Problems only</source>
        <translation>Problems only</translation>
    </message>
    <message>
        <source>None</source>
        <translation>None</translation>
    </message>
    <message>
        <source>%1; %2 shown by the filter</source>
        <translation>%1; %2 shown by the filter</translation>
    </message>
    <message>
        <source>Saving to %1…</source>
        <translation>Saving to %1…</translation>
    </message>
    <message>
        <source>Not saved</source>
        <translation>Not saved</translation>
    </message>
    <message>
        <source>CSV (*.csv)</source>
        <translation>CSV (*.csv)</translation>
    </message>
    <message>
        <source>Text (*.txt)</source>
        <translation>Text (*.txt)</translation>
    </message>
    <message>
        <source>Save the frames the list shows</source>
        <translation>Save the frames the list shows</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>All files (*)</translation>
    </message>
    <message>
        <source>%1 — Line monitor</source>
        <translation>%1 — Line monitor</translation>
    </message>
    <message>
        <source>Freeze the list; frames are still recorded and shown on resuming (Space)</source>
        <translation>Freeze the list; frames are still recorded and shown on resuming (Space)</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>Forget the frames recorded so far</source>
        <translation>Forget the frames recorded so far</translation>
    </message>
    <message>
        <source>Command:</source>
        <translation>Command:</translation>
    </message>
    <message>
        <source>Show the frames of one command only</source>
        <translation>Show the frames of one command only</translation>
    </message>
    <message>
        <source>Other commands</source>
        <translation>Other commands</translation>
    </message>
    <message>
        <source>No frame (noise, cut)</source>
        <translation>No frame (noise, cut)</translation>
    </message>
    <message>
        <source>Verdicts:</source>
        <translation>Verdicts:</translation>
    </message>
    <message>
        <source>Show the frames of the checked verdicts only</source>
        <translation>Show the frames of the checked verdicts only</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>Copy the selected rows as text (Ctrl+C)</source>
        <translation>Copy the selected rows as text (Ctrl+C)</translation>
    </message>
    <message>
        <source>Save…</source>
        <translation>Save…</translation>
    </message>
    <message>
        <source>Save the rows the list shows as text or CSV (Ctrl+S)</source>
        <translation>Save the rows the list shows as text or CSV (Ctrl+S)</translation>
    </message>
    <message>
        <source>Copy rows</source>
        <translation>Copy rows</translation>
    </message>
    <message>
        <source>Select all</source>
        <translation>Select all</translation>
    </message>
    <message numerus="yes">
        <source>%n verdicts</source>
        <translation>
            <numerusform>%n verdict</numerusform>
            <numerusform>%n verdicts</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1 frames recorded, the last %2 kept (at most %3)</source>
        <translation>
            <numerusform>%1 frame recorded, the last %2 kept (at most %3)</numerusform>
            <numerusform>%1 frames recorded, the last %2 kept (at most %3)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Paused: %1 new frames wait for Resume</source>
        <translation>
            <numerusform>Paused: %1 new frame waits for Resume</numerusform>
            <numerusform>Paused: %1 new frames wait for Resume</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Saved %1 frames to %2</source>
        <translation>
            <numerusform>Saved %1 frame to %2</numerusform>
            <numerusform>Saved %1 frames to %2</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>TMonitorModel</name>
    <message>
        <source>query</source>
        <translation>query</translation>
    </message>
    <message>
        <source>answer</source>
        <translation>answer</translation>
    </message>
    <message>
        <source>late answer, dropped</source>
        <translation>late answer, dropped</translation>
    </message>
    <message>
        <source>CRC error</source>
        <translation>CRC error</translation>
    </message>
    <message>
        <source>foreign address</source>
        <translation>foreign address</translation>
    </message>
    <message>
        <source>malformed</source>
        <translation>malformed</translation>
    </message>
    <message>
        <source>time-out</source>
        <translation>time-out</translation>
    </message>
    <message>
        <source>foreign ID</source>
        <translation>foreign ID</translation>
    </message>
    <message>
        <source>answer (query not seen)</source>
        <translation>answer (query not seen)</translation>
    </message>
    <message>
        <source>answer: slave error</source>
        <translation>answer: slave error</translation>
    </message>
    <message>
        <source>The instrument refused the request (status %1): the request stays latched and is sent again.</source>
        <translation>The instrument refused the request (status %1): the request stays latched and is sent again.</translation>
    </message>
    <message>
        <source>The answer to a request sent before the monitor started; the window took it.</source>
        <translation>The answer to a request sent before the monitor started; the window took it.</translation>
    </message>
    <message>
        <source>A request sent before the monitor started got no answer in time: the component sent it again or gave up.</source>
        <translation>A request sent before the monitor started got no answer in time: the component sent it again or gave up.</translation>
    </message>
    <message>
        <source>A request this program sent.</source>
        <translation>A request this program sent.</translation>
    </message>
    <message>
        <source>The answer to the waiting request; the window took it.</source>
        <translation>The answer to the waiting request; the window took it.</translation>
    </message>
    <message>
        <source>An answer no request was waiting for: it came after its request had timed out, or answers another command. The component dropped it.</source>
        <translation>An answer no request was waiting for: it came after its request had timed out, or answers another command. The component dropped it.</translation>
    </message>
    <message>
        <source>The check sum does not match the characters: damaged on the line, dropped.</source>
        <translation>The check sum does not match the characters: damaged on the line, dropped.</translation>
    </message>
    <message>
        <source>A frame for another address than this instrument&apos;s: dropped.</source>
        <translation>A frame for another address than this instrument&apos;s: dropped.</translation>
    </message>
    <message>
        <source>Characters that make no frame (noise, a frame cut short, a bad digit): dropped.</source>
        <translation>Characters that make no frame (noise, a frame cut short, a bad digit): dropped.</translation>
    </message>
    <message>
        <source>The request this row repeats got no answer in time: the component sent it again or gave up. The row stands at that moment.</source>
        <translation>The request this row repeats got no answer in time: the component sent it again or gave up. The row stands at that moment.</translation>
    </message>
    <message>
        <source>A frame of another device ID: the component takes such an answer as a slave error.</source>
        <translation>A frame of another device ID: the component takes such an answer as a slave error.</translation>
    </message>
    <message>
        <source>Milliseconds since the port opened</source>
        <translation>Milliseconds since the port opened</translation>
    </message>
    <message>
        <source>Sent by this program</source>
        <translation>Sent by this program</translation>
    </message>
    <message>
        <source>Received from the line</source>
        <translation>Received from the line</translation>
    </message>
    <message>
        <source>No.</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>ms</source>
        <translation>ms</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>Dir</source>
        <translation>Dir</translation>
    </message>
    <message>
        <source>Verdict</source>
        <translation>Verdict</translation>
    </message>
    <message>
        <source>Command</source>
        <translation>Command</translation>
    </message>
    <message>
        <source>Raw frame</source>
        <translation>Raw frame</translation>
    </message>
    <message>
        <source>Fields</source>
        <translation>Fields</translation>
    </message>
    <message>
        <source>The frame&apos;s number since the monitor started</source>
        <translation>The frame&apos;s number since the monitor started</translation>
    </message>
    <message>
        <source>Local time of the frame&apos;s last character</source>
        <translation>Local time of the frame&apos;s last character</translation>
    </message>
    <message>
        <source>TX: sent by this program; RX: received</source>
        <translation>TX: sent by this program; RX: received</translation>
    </message>
    <message>
        <source>What became of the frame</source>
        <translation>What became of the frame</translation>
    </message>
    <message>
        <source>The instrument command the frame carries</source>
        <translation>The instrument command the frame carries</translation>
    </message>
    <message>
        <source>The characters as they crossed the line (junk escaped as \xHH)</source>
        <translation>The characters as they crossed the line (junk escaped as \xHH)</translation>
    </message>
    <message>
        <source>The command&apos;s fields, decoded</source>
        <translation>The command&apos;s fields, decoded</translation>
    </message>
</context>
</TS>
