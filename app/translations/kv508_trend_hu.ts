<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="hu_HU">
<context>
    <name>TLiveTrendWindow</name>
    <message>
        <source>1 min</source>
        <translation>1 perc</translation>
    </message>
    <message>
        <source>10 min</source>
        <translation>10 perc</translation>
    </message>
    <message>
        <source>1 h</source>
        <translation>1 óra</translation>
    </message>
    <message>
        <source>All</source>
        <translation>Mind</translation>
    </message>
    <message>
        <source>%1 h %2 min</source>
        <translation>%1 óra %2 perc</translation>
    </message>
    <message>
        <source>%1 min %2 s</source>
        <translation>%1 perc %2 s</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 — Live trend</source>
        <translation>%1 — Élő trend</translation>
    </message>
    <message>
        <source>Span:</source>
        <translation>Időtartam:</translation>
    </message>
    <message>
        <source>Show the last %1</source>
        <translation>Az utolsó %1 megjelenítése</translation>
    </message>
    <message>
        <source>Show the whole history</source>
        <translation>A teljes előzmény megjelenítése</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Szünet</translation>
    </message>
    <message>
        <source>Freeze the view; polls keep being recorded (Space)</source>
        <translation>A nézet megállítása; a lekérdezések rögzítése folytatódik (Szóköz)</translation>
    </message>
    <message>
        <source>Follow</source>
        <translation>Követés</translation>
    </message>
    <message>
        <source>Back to live: the view follows the newest poll (End)</source>
        <translation>Vissza élőre: a nézet a legújabb lekérdezést követi (End)</translation>
    </message>
    <message>
        <source>Fit mA</source>
        <translation>mA illesztése</translation>
    </message>
    <message>
        <source>Fit the current axis to the visible values instead of the 4–20 mA loop range</source>
        <translation>Az áramtengely a látható értékekhez igazodik a 4–20 mA-es huroktartomány helyett</translation>
    </message>
    <message>
        <source>Log to CSV</source>
        <translation>Naplózás CSV-be</translation>
    </message>
    <message>
        <source>Write every answered poll to a CSV file, one flushed row each</source>
        <translation>Minden megválaszolt lekérdezés kiírása CSV-fájlba, soronként azonnal lemezre</translation>
    </message>
    <message>
        <source>File…</source>
        <translation>Fájl…</translation>
    </message>
    <message>
        <source>Choose the CSV file (an existing log is appended to)</source>
        <translation>A CSV-fájl kiválasztása (meglévő naplót folytat)</translation>
    </message>
    <message>
        <source>min &lt;b&gt;%1&lt;/b&gt;%5max &lt;b&gt;%2&lt;/b&gt;%5mean &lt;b&gt;%3&lt;/b&gt; %4</source>
        <translation>min. &lt;b&gt;%1&lt;/b&gt;%5max. &lt;b&gt;%2&lt;/b&gt;%5átlag &lt;b&gt;%3&lt;/b&gt; %4</translation>
    </message>
    <message>
        <source>no answered polls in view</source>
        <translation>nincs megválaszolt lekérdezés a nézetben</translation>
    </message>
    <message numerus="yes">
        <source>, &lt;span style=&apos;color:%1&apos;&gt;&lt;b&gt;%n failed&lt;/b&gt;&lt;/span&gt;</source>
        <translation>
            <numerusform>, &lt;span style=&apos;color:%1&apos;&gt;&lt;b&gt;%n sikertelen&lt;/b&gt;&lt;/span&gt;</numerusform>
        </translation>
    </message>
    <message>
        <source>Log to CSV (an existing log is appended to)</source>
        <translation>Naplózás CSV-be (meglévő naplót folytat)</translation>
    </message>
    <message>
        <source>CSV files (*.csv);;All files (*)</source>
        <translation>CSV-fájlok (*.csv);;Minden fájl (*)</translation>
    </message>
    <message>
        <source>Choose a new file: rows are appended only to a log written by this window.</source>
        <translation>Válasszon új fájlt: csak az ablak által írt naplót folytatja.</translation>
    </message>
    <message>
        <source>Free some disk space (or put the medium back), or choose another file with &quot;File…&quot;, then press &quot;Log to CSV&quot; again.</source>
        <translation>Szabadítson fel helyet a lemezen (vagy tegye vissza az adathordozót), vagy válasszon másik fájlt a „Fájl…” gombbal, majd nyomja meg újra a „Naplózás CSV-be” gombot.</translation>
    </message>
    <message>
        <source>Choose a file in a folder you may write to, with &quot;File…&quot;.</source>
        <translation>Válasszon a „Fájl…” gombbal fájlt egy olyan mappában, amelybe írhat.</translation>
    </message>
    <message>
        <source>Choose a plain file (or the name of a new one) with &quot;File…&quot;.</source>
        <translation>Válasszon a „Fájl…” gombbal közönséges fájlt (vagy adja meg egy új nevét).</translation>
    </message>
    <message>
        <source>Choose another file with &quot;File…&quot;.</source>
        <translation>Válasszon másik fájlt a „Fájl…” gombbal.</translation>
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
        <translation>A naplózás leállt: %1.</translation>
    </message>
    <message>
        <source>Logging did not start: %1.</source>
        <translation>A naplózás nem indult el: %1.</translation>
    </message>
    <message>
        <source>Rows in the file: %1.</source>
        <translation>Sorok a fájlban: %1.</translation>
    </message>
    <message>
        <source>Answered polls not written: %1 (the trend still shows them).</source>
        <translation>Ki nem írt megválaszolt lekérdezések: %1 (a trend továbbra is mutatja őket).</translation>
    </message>
    <message>
        <source>Opening %1…</source>
        <translation>%1 megnyitása…</translation>
    </message>
    <message>
        <source>Not logging. &quot;Log to CSV&quot; writes time, pressure, mA and the five flags of every answered poll.</source>
        <translation>Nincs naplózás. A „Naplózás CSV-be” minden megválaszolt lekérdezés idejét, nyomását, mA-értékét és öt hibajelzőjét kiírja.</translation>
    </message>
    <message numerus="yes">
        <source>%n polls in %1</source>
        <translation>
            <numerusform>%n lekérdezés, %1</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Logging to %1 (appending) — %n rows written</source>
        <translation>
            <numerusform>Naplózás ide: %1 (folytatva) — %n sor kiírva</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Logging to %1 — %n rows written</source>
        <translation>
            <numerusform>Naplózás ide: %1 — %n sor kiírva</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Not logging (last file: %1, %n rows this time).</source>
        <translation>
            <numerusform>Nincs naplózás (utolsó fájl: %1, most %n sor).</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>TTrendPlot</name>
    <message>
        <source>Wheel: zoom; drag: pan (pauses); double click: back to live</source>
        <translation>Görgő: nagyítás; húzás: mozgatás (megállít); dupla kattintás: vissza élőre</translation>
    </message>
    <message>
        <source>Waiting for polls: open the port on the main window</source>
        <translation>Lekérdezésre vár: nyissa meg a portot a főablakban</translation>
    </message>
    <message>
        <source>No answered polls in this span</source>
        <translation>Ebben az időtartamban nincs megválaszolt lekérdezés</translation>
    </message>
    <message>
        <source>Temperature [%1]</source>
        <translation>Hőmérséklet [%1]</translation>
    </message>
    <message>
        <source>Pressure [%1]</source>
        <translation>Nyomás [%1]</translation>
    </message>
    <message>
        <source>Output [mA]</source>
        <translation>Kimeneti áram [mA]</translation>
    </message>
    <message>
        <source>failed poll</source>
        <translation>sikertelen lekérdezés</translation>
    </message>
    <message>
        <source>● LIVE</source>
        <translation>● ÉLŐ</translation>
    </message>
    <message>
        <source>❚❚ PAUSED</source>
        <translation>❚❚ SZÜNET</translation>
    </message>
</context>
<context>
    <name>TrendLog</name>
    <message>
        <source>no error</source>
        <translation>nincs hiba</translation>
    </message>
    <message>
        <source>the file cannot be opened for writing</source>
        <translation>a fájl nem nyitható meg írásra</translation>
    </message>
    <message>
        <source>not a regular file (a pipe, FIFO, device or folder): no log is kept there</source>
        <translation>nem közönséges fájl (cső, FIFO, eszköz vagy mappa): oda nem naplóz</translation>
    </message>
    <message>
        <source>the existing file cannot be read to check its columns</source>
        <translation>a meglévő fájl nem olvasható, így az oszlopai nem ellenőrizhetők</translation>
    </message>
    <message>
        <source>the existing file has other columns than this log</source>
        <translation>a meglévő fájl oszlopai mások, mint ennek a naplónak</translation>
    </message>
    <message>
        <source>a row could not be written</source>
        <translation>egy sort nem sikerült kiírni</translation>
    </message>
    <message>
        <source>no log file is open</source>
        <translation>nincs megnyitott naplófájl</translation>
    </message>
    <message>
        <source>unknown error</source>
        <translation>ismeretlen hiba</translation>
    </message>
</context>
</TS>
