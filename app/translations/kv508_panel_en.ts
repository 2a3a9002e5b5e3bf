<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>TMB</name>
    <message>
        <source>port %1</source>
        <translation>port %1</translation>
    </message>
    <message>
        <source>Waiting for %1 (lost as %2) to return, for up to a minute; press any button of this panel to stop.</source>
        <translation>Waiting for %1 (lost as %2) to return, for up to a minute; press any button of this panel to stop.</translation>
    </message>
    <message>
        <source>Ref</source>
        <translation>Ref</translation>
    </message>
    <message>
        <source>Refresh list</source>
        <translation>Refresh list</translation>
    </message>
    <message>
        <source>C</source>
        <translation>C</translation>
    </message>
    <message>
        <source>Clear all counters</source>
        <translation>Clear all counters</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>%1 baud</source>
        <translation>%1 baud</translation>
    </message>
    <message>
        <source>%1 bits / second</source>
        <translation>%1 bits / second</translation>
    </message>
    <message>
        <source>Reconnecting…</source>
        <translation>Reconnecting…</translation>
    </message>
    <message>
        <source>Last status: %1</source>
        <translation>Last status: %1</translation>
    </message>
</context>
</TS>
