<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="hu_HU">
<context>
    <name>Form1</name>
    <message>
        <source>Soros port megnyitása</source>
        <translation>Soros port megnyitása</translation>
    </message>
    <message>
        <source>A felhasználói és a kalibrálási oldal között a Ctrl+Tab (vagy Ctrl+PgDn, Ctrl+PgUp) billentyűkkel lehet váltani.</source>
        <translation>A felhasználói és a kalibrálási oldal között a Ctrl+Tab (vagy Ctrl+PgDn, Ctrl+PgUp) billentyűkkel lehet váltani.</translation>
    </message>
    <message>
        <source>Mért érték, kimenő áram, hibajelzések, információk</source>
        <translation>Mért érték, kimenő áram, hibajelzések, információk</translation>
    </message>
    <message>
        <source>Mért nyomás</source>
        <translation>Mért nyomás</translation>
    </message>
    <message>
        <source>00000</source>
        <translation>00000</translation>
    </message>
    <message>
        <source>Kimenő áram</source>
        <translation>Kimenő áram</translation>
    </message>
    <message>
        <source>00.000 mA</source>
        <translation>00.000 mA</translation>
    </message>
    <message>
        <source>Hibajelzések (piros szín jelzi)</source>
        <translation>Hibajelzések (piros szín jelzi)</translation>
    </message>
    <message>
        <source>Nincs kalibrálva</source>
        <translation>Nincs kalibrálva</translation>
    </message>
    <message>
        <source>Hibás szenzor</source>
        <translation>Hibás szenzor</translation>
    </message>
    <message>
        <source>Hiányzó beállítások</source>
        <translation>Hiányzó beállítások</translation>
    </message>
    <message>
        <source>Szenzor túlterhelés</source>
        <translation>Szenzor túlterhelés</translation>
    </message>
    <message>
        <source>Kimenet tartományon kívül</source>
        <translation>Kimenet tartományon kívül</translation>
    </message>
    <message>
        <source>Förmver: v</source>
        <translation>Förmver: v</translation>
    </message>
    <message>
        <source>Kalibrálás dátuma:</source>
        <translation>Kalibrálás dátuma:</translation>
    </message>
    <message>
        <source>Beállítások</source>
        <translation>Beállítások</translation>
    </message>
    <message>
        <source>A készülékben tárolt beállítások kiolvasása és megjelenítése</source>
        <translation>A készülékben tárolt beállítások kiolvasása és megjelenítése</translation>
    </message>
    <message>
        <source>Kimenő áramokhoz tartozó nyomás értékek</source>
        <translation>Kimenő áramokhoz tartozó nyomás értékek</translation>
    </message>
    <message>
        <source>4 mA kimenő áramhoz tartozó nyomás:</source>
        <translation>4 mA kimenő áramhoz tartozó nyomás:</translation>
    </message>
    <message>
        <source>20 mA kimenő áramhoz tartozó nyomás:</source>
        <translation>20 mA kimenő áramhoz tartozó nyomás:</translation>
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
        <translation>A fenti két beviteli mezőben adhatja meg a 4 mA kimenő áramhoz 
tartozó nyomás értéket és a 20 mA kimenő áramhoz tartozó 
nyomás értéket.
A számokat úgy kell beírni, hogy a tizedespontot ne írja be, csak 
egyszerűen írja egybe az egész részt és a tizedespont utáni részt.
Pl. ha a kijelzés egy tizedesjegyes és a 20 mA kimenő áramhoz a 
34,5 nyomásértéket akarja hozzárendelni, ezt írja a 20 mA kimenő 
áramhoz tartozó beviteli mezőbe: 345.</translation>
    </message>
    <message>
        <source>Hiba jelző áram</source>
        <translation>Hiba jelző áram</translation>
    </message>
    <message>
        <source>A hiba jelző áram értéke</source>
        <translation>A hiba jelző áram értéke</translation>
    </message>
    <message>
        <source>Az új beállítások készülékbe írása és abban való eltárolása</source>
        <translation>Az új beállítások készülékbe írása és abban való eltárolása</translation>
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
        <translation> Write settings to instrumnet</translation>
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
        <translation>A kalibrálás lépései:
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



</translation>
    </message>
</context>
<context>
    <name>TAboutWindow</name>
    <message>
        <source>About KV508 I Configuration</source>
        <translation>Névjegy – KV508 I beállítóprogram</translation>
    </message>
    <message>
        <source>&lt;b style=&quot;font-size:large&quot;&gt;KV508 I Configuration&lt;/b&gt;&lt;br&gt;Version %1</source>
        <translation>&lt;b style=&quot;font-size:large&quot;&gt;KV508 I beállítóprogram&lt;/b&gt;&lt;br&gt;Verzió: %1</translation>
    </message>
    <message>
        <source>&lt;p&gt;Configures and calibrates the KV508 I 4–20 mA pressure and temperature transmitter over a serial line. &lt;tt&gt;kv508ctl&lt;/tt&gt; does the same from the command line; &lt;tt&gt;kv508-sim&lt;/tt&gt; plays the instrument for trying it without one.&lt;/p&gt;&lt;p&gt;The title bar&apos;s v%1 is the instrument firmware this tool is made for.&lt;/p&gt;&lt;p&gt;Licence: GNU General Public License, version 3 or any later version (GPL-3.0-or-later). This program is free software: you may share and change it under the terms of the &lt;a href=&quot;https://www.gnu.org/licenses/gpl-3.0.html&quot;&gt;licence&lt;/a&gt;. It comes with ABSOLUTELY NO WARRANTY.&lt;/p&gt;&lt;p&gt;&lt;a href=&quot;%2&quot;&gt;%2&lt;/a&gt;&lt;/p&gt;&lt;p&gt;Qt %3 (built with %4), platform %5.&lt;/p&gt;</source>
        <translation>&lt;p&gt;A KV508 I 4–20 mA-es nyomás- és hőmérséklet-távadó beállítása és kalibrálása soros porton. A &lt;tt&gt;kv508ctl&lt;/tt&gt; ugyanezt parancssorból végzi; a &lt;tt&gt;kv508-sim&lt;/tt&gt; a műszert játssza, így műszer nélkül is kipróbálható.&lt;/p&gt;&lt;p&gt;A címsorban látható v%1 annak a műszer-firmware-nek a változata, amelyhez ez a program készült.&lt;/p&gt;&lt;p&gt;Licenc: GNU General Public License, 3. vagy bármely későbbi változat (GPL-3.0-or-later). Ez a program szabad szoftver: a &lt;a href=&quot;https://www.gnu.org/licenses/gpl-3.0.html&quot;&gt;licenc&lt;/a&gt; feltételei szerint továbbadható és módosítható. SEMMILYEN GARANCIA nem vonatkozik rá.&lt;/p&gt;&lt;p&gt;&lt;a href=&quot;%2&quot;&gt;%2&lt;/a&gt;&lt;/p&gt;&lt;p&gt;Qt %3 (fordítva: Qt %4), platform: %5.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>&amp;Language:</source>
        <translation>&amp;Nyelv:</translation>
    </message>
    <message>
        <source>The language of every window; remembered for the next start</source>
        <translation>Minden ablak nyelve; a következő indításkor is ez marad</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Másolás</translation>
    </message>
    <message>
        <source>Copy the versions, for a bug report</source>
        <translation>A verziók másolása hibabejelentéshez</translation>
    </message>
    <message>
        <source>About &amp;Qt</source>
        <translation>A &amp;Qt névjegye</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Bezárás</translation>
    </message>
</context>
<context>
    <name>TForm1</name>
    <message>
        <source>%1 is not a regular file, so the window neither reads nor replaces it: it starts with its defaults and does not remember the port. Remove it (or put a plain file there) to have the port remembered.</source>
        <translation>A(z) %1 nem közönséges fájl, ezért az ablak nem olvassa és nem írja felül: az alapbeállításokkal indul, és nem jegyzi meg a soros portot. Törölje (vagy tegyen a helyére egy közönséges fájlt), és a program megjegyzi a portot.</translation>
    </message>
    <message>
        <source>Soros port bezárása</source>
        <translation>Soros port bezárása</translation>
    </message>
    <message>
        <source>Soros port megnyitása</source>
        <translation>Soros port megnyitása</translation>
    </message>
    <message>
        <source>Förmver: v%1</source>
        <translation>Förmver: v%1</translation>
    </message>
    <message>
        <source>Kalibrálás dátuma: %1</source>
        <translation>Kalibrálás dátuma: %1</translation>
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
        <translation>Engedélyezve</translation>
    </message>
    <message>
        <source>Tiltva</source>
        <translation>Tiltva</translation>
    </message>
    <message>
        <source>3,2 mA</source>
        <translation>3,2 mA</translation>
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
        <translation>Nem friss: %1 óta nincs válasz (a soros port zárva van vagy elveszett, vagy a műszer nem válaszol).</translation>
    </message>
    <message>
        <source>firmware v%1 (was v%2)</source>
        <translation>firmware v%1 (korábban v%2)</translation>
    </message>
    <message>
        <source>calibration date %1 (was %2)</source>
        <translation>kalibrálás dátuma %1 (korábban %2)</translation>
    </message>
    <message>
        <source>its settings cannot be read</source>
        <translation>a beállításai nem olvashatók ki</translation>
    </message>
    <message>
        <source>settings differ</source>
        <translation>a beállítások eltérnek</translation>
    </message>
    <message>
        <source>The instrument on %1 is not the one that was connected: %2.

Until you answer, the window only reads from it: no settings or calibration request is sent and the output is not forced.

Continue with this instrument?</source>
        <extracomment>%2 lists what differs, separated by commas</extracomment>
        <translation>A(z) %1 porton lévő műszer nem az, amelyik eddig csatlakozott: %2.

Amíg nem válaszol, az ablak csak olvas a műszerből: beállítást és kalibrálási kérést nem küld, a kimenő áramot nem állítja be kézzel.

Folytatja ezzel a műszerrel?</translation>
    </message>
    <message>
        <source>Continue with this instrument</source>
        <translation>Folytatás ezzel a műszerrel</translation>
    </message>
    <message>
        <source>Close the port</source>
        <translation>Soros port bezárása</translation>
    </message>
</context>
<context>
    <name>TToolWindows</name>
    <message>
        <source>Line &amp;monitor…</source>
        <translation>&amp;Vonalfigyelő…</translation>
    </message>
    <message>
        <source>Every frame on the line with its time, meaning and verdict</source>
        <translation>A vonal minden üzenetkerete idővel, jelentéssel és minősítéssel</translation>
    </message>
    <message>
        <source>Live &amp;trend…</source>
        <translation>Élő &amp;trend…</translation>
    </message>
    <message>
        <source>Pressure and output current against time; log them to CSV</source>
        <translation>Nyomás és kimeneti áram az idő függvényében; naplózás CSV-fájlba</translation>
    </message>
    <message>
        <source>&amp;Calibration record…</source>
        <translation>&amp;Kalibrálási jegyzőkönyv…</translation>
    </message>
    <message>
        <source>As-Found / As-Left check, history per instrument, certificate</source>
        <translation>Átvételi és kiadási állapot ellenőrzése, műszerenkénti előzmények, kalibrálási bizonyítvány</translation>
    </message>
    <message>
        <source>Calibration &amp;guide…</source>
        <translation>Kalibrálási &amp;útmutató…</translation>
    </message>
    <message>
        <source>The calibration page&apos;s eleven steps as a checklist that follows the instrument</source>
        <translation>A kalibrálási oldal tizenegy lépése ellenőrzőlistaként, amely a műszer állapotát követi</translation>
    </message>
    <message>
        <source>&amp;About…</source>
        <translation>&amp;Névjegy…</translation>
    </message>
    <message>
        <source>Version and licence</source>
        <translation>Verzió és licenc</translation>
    </message>
    <message>
        <source>&amp;Save settings to file…</source>
        <translation>Beállítások &amp;mentése fájlba…</translation>
    </message>
    <message>
        <source>&amp;Load settings from file…</source>
        <translation>Beállítások &amp;betöltése fájlból…</translation>
    </message>
    <message>
        <source>Com&amp;pare settings with file…</source>
        <translation>Beállítások ö&amp;sszehasonlítása fájllal…</translation>
    </message>
    <message>
        <source>&amp;Language</source>
        <translation>&amp;Nyelv</translation>
    </message>
    <message>
        <source>Tools</source>
        <translation>Tools</translation>
    </message>
    <message>
        <source>Line monitor (Ctrl+M), live trend (Ctrl+T), calibration record (Ctrl+K), calibration guide (Ctrl+G), About (F1), settings files, language; also on the window&apos;s right-click menu</source>
        <translation>Vonalfigyelő (Ctrl+M), élő trend (Ctrl+T), kalibrálási jegyzőkönyv (Ctrl+K), kalibrálási útmutató (Ctrl+G), Névjegy (F1), beállítások mentése és betöltése, nyelv; az ablak jobb gombos menüjében is</translation>
    </message>
    <message>
        <source>This build of the tool does not include this window.</source>
        <translation>A program ezen kiadása nem tartalmazza ezt az ablakot.</translation>
    </message>
</context>
</TS>
