<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>Form1</name>
    <message>
        <source>Soros port megnyitása</source>
        <translation>Open serial port</translation>
    </message>
    <message>
        <source>A felhasználói és a kalibrálási oldal között a Ctrl+Tab (vagy Ctrl+PgDn, Ctrl+PgUp) billentyűkkel lehet váltani.</source>
        <translation>Ctrl+Tab (or Ctrl+PgDn, Ctrl+PgUp) switches between the user page and the calibration page.</translation>
    </message>
    <message>
        <source>Mért érték, kimenő áram, hibajelzések, információk</source>
        <translation>Measured value, output current, errors, information</translation>
    </message>
    <message>
        <source>Mért nyomás</source>
        <translation>Measured pressure</translation>
    </message>
    <message>
        <source>00000</source>
        <translation>00000</translation>
    </message>
    <message>
        <source>Kimenő áram</source>
        <translation>Output current</translation>
    </message>
    <message>
        <source>00.000 mA</source>
        <translation>00.000 mA</translation>
    </message>
    <message>
        <source>Hibajelzések (piros szín jelzi)</source>
        <translation>Errors (shown in red)</translation>
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
        <source>Förmver: v</source>
        <translation>Firmware: v</translation>
    </message>
    <message>
        <source>Kalibrálás dátuma:</source>
        <translation>Calibration date:</translation>
    </message>
    <message>
        <source>Beállítások</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>A készülékben tárolt beállítások kiolvasása és megjelenítése</source>
        <translation>Read and show the settings stored in the instrument</translation>
    </message>
    <message>
        <source>Kimenő áramokhoz tartozó nyomás értékek</source>
        <translation>Pressures for the output currents</translation>
    </message>
    <message>
        <source>4 mA kimenő áramhoz tartozó nyomás:</source>
        <translation>Pressure for 4 mA output current:</translation>
    </message>
    <message>
        <source>20 mA kimenő áramhoz tartozó nyomás:</source>
        <translation>Pressure for 20 mA output current:</translation>
    </message>
    <message>
        <source>A fenti két beviteli mezőben adhatja meg a 4 mA kimenő áramhoz 
tartozó nyomás értéket és a 20 mA kimenő áramhoz tartozó 
nyomás értéket.
A számokat úgy kell beírni, hogy a tizedespontot ne írja be, csak 
egyszerűen írja egybe az egész részt és a tizedespont utáni részt.
Pl. ha a kijelzés egy tizedesjegyes és a 20 mA kimenő áramhoz a 
34,5 nyomásértéket akarja hozzárendelni, ezt írja a 20 mA kimenő 
áramhoz tartozó beviteli mezőbe: 345.</source>
        <translation>In the two fields above, enter the pressure for the 4 mA output 
current and the pressure for the 20 mA output current.
Type the numbers without the decimal point: simply write the 
whole part and the part after the decimal point together.
E.g. if the display has one decimal and the pressure 34.5 is to 
give the 20 mA output current, type this into the field for 
the 20 mA output current: 345.</translation>
    </message>
    <message>
        <source>Hiba jelző áram</source>
        <translation>Error current</translation>
    </message>
    <message>
        <source>A hiba jelző áram értéke</source>
        <translation>Error current value</translation>
    </message>
    <message>
        <source>Az új beállítások készülékbe írása és abban való eltárolása</source>
        <translation>Write the new settings to the instrument and store them there</translation>
    </message>
    <message>
        <source>Zero</source>
        <translation>Zero</translation>
    </message>
    <message>
        <source>10.</source>
        <translation>10.</translation>
    </message>
    <message>
        <source>Calibrate input</source>
        <translation>Calibrate input</translation>
    </message>
    <message>
        <source>ADC value</source>
        <translation>ADC value</translation>
    </message>
    <message>
        <source>Set as 0</source>
        <translation>Set as 0</translation>
    </message>
    <message>
        <source>Set as scale end</source>
        <translation>Set as scale end</translation>
    </message>
    <message>
        <source>3.</source>
        <translation>3.</translation>
    </message>
    <message>
        <source>4.</source>
        <translation>4.</translation>
    </message>
    <message>
        <source>Scale end = 0000</source>
        <translation>Scale end = 0000</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>9., 11.</source>
        <translation>9., 11.</translation>
    </message>
    <message>
        <source>Erase full EEPROM memory</source>
        <translation>Erase full EEPROM memory</translation>
    </message>
    <message>
        <source>Calibrate output</source>
        <translation>Calibrate output</translation>
    </message>
    <message>
        <source>PWM Force</source>
        <translation>PWM Force</translation>
    </message>
    <message>
        <source>-1000</source>
        <translation>-1000</translation>
    </message>
    <message>
        <source>-100</source>
        <translation>-100</translation>
    </message>
    <message>
        <source>-10</source>
        <translation>-10</translation>
    </message>
    <message>
        <source>-1</source>
        <translation>-1</translation>
    </message>
    <message>
        <source>+1</source>
        <translation>+1</translation>
    </message>
    <message>
        <source>+10</source>
        <translation>+10</translation>
    </message>
    <message>
        <source>+100</source>
        <translation>+100</translation>
    </message>
    <message>
        <source>+1000</source>
        <translation>+1000</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>F</source>
        <translation>F</translation>
    </message>
    <message>
        <source>50 %</source>
        <translation>50 %</translation>
    </message>
    <message>
        <source>5.</source>
        <translation>5.</translation>
    </message>
    <message>
        <source>8.</source>
        <translation>8.</translation>
    </message>
    <message>
        <source>0 000</source>
        <translation>0 000</translation>
    </message>
    <message>
        <source>6.</source>
        <translation>6.</translation>
    </message>
    <message>
        <source>7.</source>
        <translation>7.</translation>
    </message>
    <message>
        <source>Set as 4 mA</source>
        <translation>Set as 4 mA</translation>
    </message>
    <message>
        <source>Set as 20 mA</source>
        <translation>Set as 20 mA</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source> Write settings to instrumnet</source>
        <translation> Write settings to instrument</translation>
    </message>
    <message>
        <source>Averaging:</source>
        <translation>Averaging:</translation>
    </message>
    <message>
        <source>2.</source>
        <translation>2.</translation>
    </message>
    <message>
        <source>(SPS = 0)</source>
        <translation>(SPS = 0)</translation>
    </message>
    <message>
        <source>Input</source>
        <translation>Input</translation>
    </message>
    <message>
        <source>Pressure sensor</source>
        <translation>Pressure sensor</translation>
    </message>
    <message>
        <source>1.</source>
        <translation>1.</translation>
    </message>
    <message>
        <source>A kalibrálás lépései:
1. Válassza ki a használt nyomásszenzort. 2. A gombra kattintással eltárolódik a készülékben.
3. Adjon nulla nyomást a szenzorra, azután a gombra kattintással eltárolódik a készülékben.
4. Adjon a szenzor végértékével megegyező nyomást a szenzorra, azután a gombra kattintással 
eltárolódik a készülékben.
5. A PWM Force gomot benyomva lehetővé válik a kimenet kalibrálása.
6. A csúszkával és az alatta lévő mínusz - plusz gombokkal állítson be a kimeneten 4 mA áramot, majd 
a Set as 4 mA gombra kattintással eltárolódik a készülékben.
7. A csúszkával és az alatta lévő mínusz - plusz gombokkal állítson be a kimeneten 20 mA áramot, 
majd a Set as 20 mA gombra kattintással eltárolódik a készülékben.
8. A PWM Force gomot felengedve befejeződik a kimenet kalibrálása.
9. Kattintson a Reset gombra, hogy a készülék az imént elvégzett kalibrálások szerint elkezdje a 
normál működését.
10. Adjon nulla nyomást a szenzorra és kattintson a Zero gombra.
11. Kattintson a Reset gombra, hogy a készülék az imént elvégzett kalibrálások szerint elkezdje a 
normál működését.



</source>
        <translation>Calibration steps:
1. Choose the pressure sensor in use. 2. A click on the button stores it in the instrument.
3. Apply zero pressure to the sensor, then a click on the button stores it in the instrument.
4. Apply the pressure of the sensor&apos;s scale end to the sensor, then a click on the button 
stores it in the instrument.
5. Pressing the PWM Force button lets you calibrate the output.
6. Set 4 mA on the output with the slider and the minus - plus buttons below it, then a 
click on Set as 4 mA stores it in the instrument.
7. Set 20 mA on the output with the slider and the minus - plus buttons below it, then a 
click on Set as 20 mA stores it in the instrument.
8. Releasing the PWM Force button ends the output calibration.
9. Click Reset, so that the instrument starts its normal operation with the calibrations 
just made.
10. Apply zero pressure to the sensor and click Zero.
11. Click Reset, so that the instrument starts its normal operation with the calibrations 
just made.



</translation>
    </message>
</context>
<context>
    <name>TAboutWindow</name>
    <message>
        <source>About KV508 I Configuration</source>
        <translation>About KV508 I Configuration</translation>
    </message>
    <message>
        <source>&lt;b style=&quot;font-size:large&quot;&gt;KV508 I Configuration&lt;/b&gt;&lt;br&gt;Version %1</source>
        <translation>&lt;b style=&quot;font-size:large&quot;&gt;KV508 I Configuration&lt;/b&gt;&lt;br&gt;Version %1</translation>
    </message>
    <message>
        <source>&lt;p&gt;Configures and calibrates the KV508 I 4–20 mA pressure and temperature transmitter over a serial line. &lt;tt&gt;kv508ctl&lt;/tt&gt; does the same from the command line; &lt;tt&gt;kv508-sim&lt;/tt&gt; plays the instrument for trying it without one.&lt;/p&gt;&lt;p&gt;The title bar&apos;s v%1 is the instrument firmware this tool is made for.&lt;/p&gt;&lt;p&gt;Licence: GNU General Public License, version 3 or any later version (GPL-3.0-or-later). This program is free software: you may share and change it under the terms of the &lt;a href=&quot;https://www.gnu.org/licenses/gpl-3.0.html&quot;&gt;licence&lt;/a&gt;. It comes with ABSOLUTELY NO WARRANTY.&lt;/p&gt;&lt;p&gt;&lt;a href=&quot;%2&quot;&gt;%2&lt;/a&gt;&lt;/p&gt;&lt;p&gt;Qt %3 (built with %4), platform %5.&lt;/p&gt;</source>
        <translation>&lt;p&gt;Configures and calibrates the KV508 I 4–20 mA pressure and temperature transmitter over a serial line. &lt;tt&gt;kv508ctl&lt;/tt&gt; does the same from the command line; &lt;tt&gt;kv508-sim&lt;/tt&gt; plays the instrument for trying it without one.&lt;/p&gt;&lt;p&gt;The title bar&apos;s v%1 is the instrument firmware this tool is made for.&lt;/p&gt;&lt;p&gt;Licence: GNU General Public License, version 3 or any later version (GPL-3.0-or-later). This program is free software: you may share and change it under the terms of the &lt;a href=&quot;https://www.gnu.org/licenses/gpl-3.0.html&quot;&gt;licence&lt;/a&gt;. It comes with ABSOLUTELY NO WARRANTY.&lt;/p&gt;&lt;p&gt;&lt;a href=&quot;%2&quot;&gt;%2&lt;/a&gt;&lt;/p&gt;&lt;p&gt;Qt %3 (built with %4), platform %5.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>&amp;Language:</source>
        <translation>&amp;Language:</translation>
    </message>
    <message>
        <source>The language of every window; remembered for the next start</source>
        <translation>The language of every window; remembered for the next start</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Copy</translation>
    </message>
    <message>
        <source>Copy the versions, for a bug report</source>
        <translation>Copy the versions, for a bug report</translation>
    </message>
    <message>
        <source>About &amp;Qt</source>
        <translation>About &amp;Qt</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>TForm1</name>
    <message>
        <source>%1 is not a regular file, so the window neither reads nor replaces it: it starts with its defaults and does not remember the port. Remove it (or put a plain file there) to have the port remembered.</source>
        <translation>%1 is not a regular file, so the window neither reads nor replaces it: it starts with its defaults and does not remember the port. Remove it (or put a plain file there) to have the port remembered.</translation>
    </message>
    <message>
        <source>Soros port bezárása</source>
        <translation>Close serial port</translation>
    </message>
    <message>
        <source>Soros port megnyitása</source>
        <translation>Open serial port</translation>
    </message>
    <message>
        <source>Förmver: v%1</source>
        <translation>Firmware: v%1</translation>
    </message>
    <message>
        <source>Kalibrálás dátuma: %1</source>
        <translation>Calibration date: %1</translation>
    </message>
    <message>
        <source>Scale end = %1</source>
        <translation>Scale end = %1</translation>
    </message>
    <message>
        <source>(SPS = %1)</source>
        <translation>(SPS = %1)</translation>
    </message>
    <message>
        <source>Engedélyezve</source>
        <translation>Enabled</translation>
    </message>
    <message>
        <source>Tiltva</source>
        <translation>Disabled</translation>
    </message>
    <message>
        <source>3,2 mA</source>
        <translation>3.2 mA</translation>
    </message>
    <message>
        <source>22 mA</source>
        <translation>22 mA</translation>
    </message>
    <message>
        <source>Pressure</source>
        <translation>Pressure</translation>
    </message>
    <message>
        <source>Temperature</source>
        <translation>Temperature</translation>
    </message>
    <message>
        <source>The port was lost.
Reconnecting…
(press a panel button to stop)</source>
        <translation>The port was lost.
Reconnecting…
(press a panel button to stop)</translation>
    </message>
    <message>
        <source>Not current: no answer since %1 (the port is closed or lost, or the instrument does not answer).</source>
        <translation>Not current: no answer since %1 (the port is closed or lost, or the instrument does not answer).</translation>
    </message>
    <message>
        <source>firmware v%1 (was v%2)</source>
        <translation>firmware v%1 (was v%2)</translation>
    </message>
    <message>
        <source>calibration date %1 (was %2)</source>
        <translation>calibration date %1 (was %2)</translation>
    </message>
    <message>
        <source>its settings cannot be read</source>
        <translation>its settings cannot be read</translation>
    </message>
    <message>
        <source>settings differ</source>
        <translation>settings differ</translation>
    </message>
    <message>
        <source>The instrument on %1 is not the one that was connected: %2.

Until you answer, the window only reads from it: no settings or calibration request is sent and the output is not forced.

Continue with this instrument?</source>
        <extracomment>%2 lists what differs, separated by commas</extracomment>
        <translation>The instrument on %1 is not the one that was connected: %2.

Until you answer, the window only reads from it: no settings or calibration request is sent and the output is not forced.

Continue with this instrument?</translation>
    </message>
    <message>
        <source>Continue with this instrument</source>
        <translation>Continue with this instrument</translation>
    </message>
    <message>
        <source>Close the port</source>
        <translation>Close the port</translation>
    </message>
</context>
<context>
    <name>TToolWindows</name>
    <message>
        <source>Line &amp;monitor…</source>
        <translation>Line &amp;monitor…</translation>
    </message>
    <message>
        <source>Every frame on the line with its time, meaning and verdict</source>
        <translation>Every frame on the line with its time, meaning and verdict</translation>
    </message>
    <message>
        <source>Live &amp;trend…</source>
        <translation>Live &amp;trend…</translation>
    </message>
    <message>
        <source>Pressure and output current against time; log them to CSV</source>
        <translation>Pressure and output current against time; log them to CSV</translation>
    </message>
    <message>
        <source>&amp;Calibration record…</source>
        <translation>&amp;Calibration record…</translation>
    </message>
    <message>
        <source>As-Found / As-Left check, history per instrument, certificate</source>
        <translation>As-Found / As-Left check, history per instrument, certificate</translation>
    </message>
    <message>
        <source>Calibration &amp;guide…</source>
        <translation>Calibration &amp;guide…</translation>
    </message>
    <message>
        <source>The calibration page&apos;s eleven steps as a checklist that follows the instrument</source>
        <translation>The calibration page&apos;s eleven steps as a checklist that follows the instrument</translation>
    </message>
    <message>
        <source>&amp;About…</source>
        <translation>&amp;About…</translation>
    </message>
    <message>
        <source>Version and licence</source>
        <translation>Version and licence</translation>
    </message>
    <message>
        <source>&amp;Save settings to file…</source>
        <translation>&amp;Save settings to file…</translation>
    </message>
    <message>
        <source>&amp;Load settings from file…</source>
        <translation>&amp;Load settings from file…</translation>
    </message>
    <message>
        <source>Com&amp;pare settings with file…</source>
        <translation>Com&amp;pare settings with file…</translation>
    </message>
    <message>
        <source>&amp;Language</source>
        <translation>&amp;Language</translation>
    </message>
    <message>
        <source>Tools</source>
        <translation>Tools</translation>
    </message>
    <message>
        <source>Line monitor (Ctrl+M), live trend (Ctrl+T), calibration record (Ctrl+K), calibration guide (Ctrl+G), About (F1), settings files, language; also on the window&apos;s right-click menu</source>
        <translation>Line monitor (Ctrl+M), live trend (Ctrl+T), calibration record (Ctrl+K), calibration guide (Ctrl+G), About (F1), settings files, language; also on the window&apos;s right-click menu</translation>
    </message>
    <message>
        <source>This build of the tool does not include this window.</source>
        <translation>This build of the tool does not include this window.</translation>
    </message>
</context>
</TS>
