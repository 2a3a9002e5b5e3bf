<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>TCalibrationGuide</name>
    <message>
        <source>Select the sensor in use on the calibration page.</source>
        <translation>Select the sensor in use on the calibration page.</translation>
    </message>
    <message>
        <source>Store it: “Write settings to instrument”.</source>
        <translation>Store it: “Write settings to instrument”.</translation>
    </message>
    <message>
        <source>Apply zero pressure, then “Set as 0”.</source>
        <translation>Apply zero pressure, then “Set as 0”.</translation>
    </message>
    <message>
        <source>Apply the sensor&apos;s full-scale pressure, then “Set as scale end”.</source>
        <translation>Apply the sensor&apos;s full-scale pressure, then “Set as scale end”.</translation>
    </message>
    <message>
        <source>Press “PWM Force”: the output calibration begins.</source>
        <translation>Press “PWM Force”: the output calibration begins.</translation>
    </message>
    <message>
        <source>Bring the output to 4 mA (slider, − / + buttons), then “Set as 4 mA”.</source>
        <translation>Bring the output to 4 mA (slider, − / + buttons), then “Set as 4 mA”.</translation>
    </message>
    <message>
        <source>Bring the output to 20 mA, then “Set as 20 mA”.</source>
        <translation>Bring the output to 20 mA, then “Set as 20 mA”.</translation>
    </message>
    <message>
        <source>Release “PWM Force”: the output calibration ends.</source>
        <translation>Release “PWM Force”: the output calibration ends.</translation>
    </message>
    <message>
        <source>“Reset”: the instrument starts with the new calibration.</source>
        <translation>“Reset”: the instrument starts with the new calibration.</translation>
    </message>
    <message>
        <source>Apply zero pressure, then “Zero”.</source>
        <translation>Apply zero pressure, then “Zero”.</translation>
    </message>
    <message>
        <source>“Reset” again: calibration done.</source>
        <translation>“Reset” again: calibration done.</translation>
    </message>
    <message>
        <source>no answer came</source>
        <translation>no answer came</translation>
    </message>
    <message>
        <source>the instrument refused it</source>
        <translation>the instrument refused it</translation>
    </message>
    <message>
        <source>the port closed</source>
        <translation>the port closed</translation>
    </message>
    <message>
        <source>it failed</source>
        <translation>it failed</translation>
    </message>
    <message>
        <source>a point did not take: repeat steps 3–4 (input) and 5–8 (output)</source>
        <translation>a point did not take: repeat steps 3–4 (input) and 5–8 (output)</translation>
    </message>
    <message>
        <source>check the sensor and its wiring</source>
        <translation>check the sensor and its wiring</translation>
    </message>
    <message>
        <source>store the settings again (step 2)</source>
        <translation>store the settings again (step 2)</translation>
    </message>
    <message>
        <source>the pressure applied is beyond the sensor&apos;s range</source>
        <translation>the pressure applied is beyond the sensor&apos;s range</translation>
    </message>
    <message>
        <source>the pressure lies outside the span (4 mA / 20 mA settings), or the zero or scale end did not take</source>
        <translation>the pressure lies outside the span (4 mA / 20 mA settings), or the zero or scale end did not take</translation>
    </message>
    <message>
        <source>Nincs kalibrálva</source>
        <translation>Not calibrated</translation>
    </message>
    <message>
        <source>Hibás szenzor</source>
        <translation>Sensor fault</translation>
    </message>
    <message>
        <source>Hiányzó beállítások</source>
        <translation>Settings missing</translation>
    </message>
    <message>
        <source>Szenzor túlterhelés</source>
        <translation>Sensor overload</translation>
    </message>
    <message>
        <source>Kimenet tartományon kívül</source>
        <translation>Output out of range</translation>
    </message>
    <message>
        <source>no reading</source>
        <translation>no reading</translation>
    </message>
    <message>
        <source>moved between %1 and %2 over the last %3 s (settled is within %4)</source>
        <translation>moved between %1 and %2 over the last %3 s (settled is within %4)</translation>
    </message>
    <message>
        <source>“%1” failed (%2), so it is not ticked. The request stays latched and goes out again after the next poll; if it keeps failing, check the line.</source>
        <translation>“%1” failed (%2), so it is not ticked. The request stays latched and goes out again after the next poll; if it keeps failing, check the line.</translation>
    </message>
    <message>
        <source>not acknowledged yet (%1)</source>
        <translation>not acknowledged yet (%1)</translation>
    </message>
    <message>
        <source>Calibrated: the instrument reports no error flag; calibration date %1.</source>
        <translation>Calibrated: the instrument reports no error flag; calibration date %1.</translation>
    </message>
    <message>
        <source>“%1” (%2)</source>
        <translation>“%1” (%2)</translation>
    </message>
    <message>
        <source>Not calibrated: the instrument still reports %1. %2.</source>
        <translation>Not calibrated: the instrument still reports %1. %2.</translation>
    </message>
    <message>
        <source>The instrument&apos;s memory was erased: the calibration starts again from step 1.</source>
        <translation>The instrument&apos;s memory was erased: the calibration starts again from step 1.</translation>
    </message>
    <message>
        <source>the instrument holds sensor code %1</source>
        <translation>the instrument holds sensor code %1</translation>
    </message>
    <message>
        <source>the instrument holds %1</source>
        <translation>the instrument holds %1</translation>
    </message>
    <message>
        <source>acknowledged</source>
        <translation>acknowledged</translation>
    </message>
    <message>
        <source>⚠ acknowledged, but taken while the reading was still moving: apply the pressure, wait for “ADC settled” and press “%1” again</source>
        <translation>⚠ acknowledged, but taken while the reading was still moving: apply the pressure, wait for “ADC settled” and press “%1” again</translation>
    </message>
    <message>
        <source>“%1” was acknowledged out of order (the guide is at step %2), so no step is ticked for it.</source>
        <translation>“%1” was acknowledged out of order (the guide is at step %2), so no step is ticked for it.</translation>
    </message>
    <message>
        <source>the output is forced</source>
        <translation>the output is forced</translation>
    </message>
    <message>
        <source>the output follows the pressure again</source>
        <translation>the output follows the pressure again</translation>
    </message>
    <message>
        <source>temperature input: no pressure sensor</source>
        <translation>temperature input: no pressure sensor</translation>
    </message>
    <message>
        <source>&lt;span style=&apos;color:%1&apos;&gt;&lt;b&gt;○ ADC: no reading yet&lt;/b&gt;&lt;/span&gt;</source>
        <translation>&lt;span style=&apos;color:%1&apos;&gt;&lt;b&gt;○ ADC: no reading yet&lt;/b&gt;&lt;/span&gt;</translation>
    </message>
    <message>
        <source>&lt;span style=&apos;color:%1&apos;&gt;&lt;b&gt;● ADC settled&lt;/b&gt;&lt;/span&gt; (steady over the averaging window, %2 s)</source>
        <translation>&lt;span style=&apos;color:%1&apos;&gt;&lt;b&gt;● ADC settled&lt;/b&gt;&lt;/span&gt; (steady over the averaging window, %2 s)</translation>
    </message>
    <message>
        <source>&lt;span style=&apos;color:%1&apos;&gt;&lt;b&gt;○ ADC settling&lt;/b&gt;&lt;/span&gt;: the reading %2; wait before pressing the button</source>
        <translation>&lt;span style=&apos;color:%1&apos;&gt;&lt;b&gt;○ ADC settling&lt;/b&gt;&lt;/span&gt;: the reading %2; wait before pressing the button</translation>
    </message>
    <message>
        <source>Calibration guide – %1</source>
        <translation>Calibration guide – %1</translation>
    </message>
    <message>
        <source>The steps of the calibration page (Ctrl+Tab). A step is ticked when the instrument has acknowledged it.</source>
        <translation>The steps of the calibration page (Ctrl+Tab). A step is ticked when the instrument has acknowledged it.</translation>
    </message>
    <message>
        <source>Start over</source>
        <translation>Start over</translation>
    </message>
    <message>
        <source>Clear the ticks, for the next calibration</source>
        <translation>Clear the ticks, for the next calibration</translation>
    </message>
    <message>
        <source>Waiting for the instrument&apos;s first poll after the restart…</source>
        <translation>Waiting for the instrument&apos;s first poll after the restart…</translation>
    </message>
</context>
<context>
    <name>TSettingsFiles</name>
    <message>
        <source>Settings files (*.json);;All files (*)</source>
        <translation>Settings files (*.json);;All files (*)</translation>
    </message>
    <message>
        <source>Settings compared with file – %1</source>
        <translation>Settings compared with file – %1</translation>
    </message>
    <message>
        <source>firmware v%1</source>
        <translation>firmware v%1</translation>
    </message>
    <message>
        <source>%1
saved %2 (%3)
%4</source>
        <translation>%1
saved %2 (%3)
%4</translation>
    </message>
    <message>
        <source>The instrument holds the file&apos;s settings.</source>
        <translation>The instrument holds the file&apos;s settings.</translation>
    </message>
    <message>
        <source>%1 of 7 settings differ (marked).</source>
        <translation>%1 of 7 settings differ (marked).</translation>
    </message>
    <message>
        <source>Setting</source>
        <translation>Setting</translation>
    </message>
    <message>
        <source>File</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Instrument</source>
        <translation>Instrument</translation>
    </message>
    <message>
        <source>Save settings to file</source>
        <translation>Save settings to file</translation>
    </message>
    <message>
        <source>Load settings from file</source>
        <translation>Load settings from file</translation>
    </message>
    <message>
        <source>Compare settings with file</source>
        <translation>Compare settings with file</translation>
    </message>
    <message>
        <source>Another settings file operation is still running: wait for it to end, then try again.</source>
        <translation>Another settings file operation is still running: wait for it to end, then try again.</translation>
    </message>
    <message>
        <source>The port is closed: open it with “%1”, then try again.</source>
        <translation>The port is closed: open it with “%1”, then try again.</translation>
    </message>
    <message>
        <source>Cannot write %1: it is not a regular file. Choose a file name.</source>
        <translation>Cannot write %1: it is not a regular file. Choose a file name.</translation>
    </message>
    <message>
        <source>Cannot read %1: there is no such file.</source>
        <translation>Cannot read %1: there is no such file.</translation>
    </message>
    <message>
        <source>Cannot read %1: it is not a regular file. Choose a settings file.</source>
        <translation>Cannot read %1: it is not a regular file. Choose a settings file.</translation>
    </message>
    <message>
        <source>%1 is larger than 1 MiB, so it is not a settings file of this tool; nothing was written to the instrument.</source>
        <translation>%1 is larger than 1 MiB, so it is not a settings file of this tool; nothing was written to the instrument.</translation>
    </message>
    <message>
        <source>Cannot read %1: %2. Check the file&apos;s permissions.</source>
        <translation>Cannot read %1: %2. Check the file&apos;s permissions.</translation>
    </message>
    <message>
        <source>%1 is refused: %2. Nothing was written to the instrument; choose a file saved by this window or by kv508ctl backup.</source>
        <translation>%1 is refused: %2. Nothing was written to the instrument; choose a file saved by this window or by kv508ctl backup.</translation>
    </message>
    <message>
        <source>%1 is refused: %2 %3 is out of range (the instrument had no valid settings when it was saved). Nothing was written.</source>
        <translation>%1 is refused: %2 %3 is out of range (the instrument had no valid settings when it was saved). Nothing was written.</translation>
    </message>
    <message>
        <source>%1 is refused: %2. Nothing was written (kv508ctl restore --force writes an inverted span, for an output meant to act in reverse).</source>
        <translation>%1 is refused: %2. Nothing was written (kv508ctl restore --force writes an inverted span, for an output meant to act in reverse).</translation>
    </message>
    <message>
        <source>Loaded the settings of %1 into the instrument and verified them by reading back.</source>
        <translation>Loaded the settings of %1 into the instrument and verified them by reading back.</translation>
    </message>
    <message>
        <source>The instrument holds other values than were written:
%1
Check the instrument and load the file again.</source>
        <translation>The instrument holds other values than were written:
%1
Check the instrument and load the file again.</translation>
    </message>
    <message>
        <source>%1: written %2, read back %3</source>
        <translation>%1: written %2, read back %3</translation>
    </message>
    <message>
        <source>The port closed while the load waited for your answer: nothing was written. Open the port and load %1 again.</source>
        <translation>The port closed while the load waited for your answer: nothing was written. Open the port and load %1 again.</translation>
    </message>
    <message>
        <source>The port closed before the load was verified: the settings may or may not have been stored. Open the port and compare with %1, or load it again.</source>
        <translation>The port closed before the load was verified: the settings may or may not have been stored. Open the port and compare with %1, or load it again.</translation>
    </message>
    <message>
        <source>The port closed before the settings of %1 were written: nothing was written. Open the port and load it again.</source>
        <translation>The port closed before the settings of %1 were written: nothing was written. Open the port and load it again.</translation>
    </message>
    <message>
        <source>The port closed before the instrument&apos;s settings were read: nothing was saved. Open the port and try again.</source>
        <translation>The port closed before the instrument&apos;s settings were read: nothing was saved. Open the port and try again.</translation>
    </message>
    <message>
        <source>The port closed before the instrument&apos;s settings were read: nothing was written. Open the port and try again.</source>
        <translation>The port closed before the instrument&apos;s settings were read: nothing was written. Open the port and try again.</translation>
    </message>
    <message>
        <source>The port closed before the instrument&apos;s settings were read: nothing was compared. Open the port and try again.</source>
        <translation>The port closed before the instrument&apos;s settings were read: nothing was compared. Open the port and try again.</translation>
    </message>
    <message>
        <source>The instrument holds the settings of %1: no differences.</source>
        <translation>The instrument holds the settings of %1: no differences.</translation>
    </message>
    <message>
        <source>%1 of the settings differ from %2.</source>
        <translation>%1 of the settings differ from %2.</translation>
    </message>
    <message>
        <source>The instrument already holds the settings of %1: nothing written.</source>
        <translation>The instrument already holds the settings of %1: nothing written.</translation>
    </message>
    <message>
        <source>%1: file %2, instrument %3</source>
        <translation>%1: file %2, instrument %3</translation>
    </message>
    <message>
        <source>The file comes from firmware %1, this instrument runs %2.</source>
        <translation>The file comes from firmware %1, this instrument runs %2.</translation>
    </message>
    <message>
        <source>Write these settings of %1 to the instrument?

%2</source>
        <translation>Write these settings of %1 to the instrument?

%2</translation>
    </message>
    <message>
        <source>Not loaded: nothing was written to the instrument.</source>
        <translation>Not loaded: nothing was written to the instrument.</translation>
    </message>
    <message>
        <source>The page could not take the settings of %1 as they are: nothing was written.</source>
        <translation>The page could not take the settings of %1 as they are: nothing was written.</translation>
    </message>
    <message>
        <source>Cannot write %1: %2. Check the folder exists and is writable.</source>
        <translation>Cannot write %1: %2. Check the folder exists and is writable.</translation>
    </message>
    <message>
        <source>The instrument&apos;s settings were saved to %1.</source>
        <translation>The instrument&apos;s settings were saved to %1.</translation>
    </message>
    <message>
        <source> The instrument holds no valid settings (%1 %2; erased?): loading this file will be refused.</source>
        <translation> The instrument holds no valid settings (%1 %2; erased?): loading this file will be refused.</translation>
    </message>
    <message>
        <source>Settings file</source>
        <translation>Settings file</translation>
    </message>
</context>
</TS>
