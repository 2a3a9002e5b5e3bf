<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="hu_HU">
<context>
    <name>TCalibrationGuide</name>
    <message>
        <source>Select the sensor in use on the calibration page.</source>
        <translation>Válassza ki a kalibrálási lapon a használt szenzort.</translation>
    </message>
    <message>
        <source>Store it: “Write settings to instrument”.</source>
        <translation>Tárolja el: „Write settings to instrument”.</translation>
    </message>
    <message>
        <source>Apply zero pressure, then “Set as 0”.</source>
        <translation>Adjon rá nulla nyomást, majd „Set as 0”.</translation>
    </message>
    <message>
        <source>Apply the sensor&apos;s full-scale pressure, then “Set as scale end”.</source>
        <translation>Adja rá a szenzor végkitérési nyomását, majd „Set as scale end”.</translation>
    </message>
    <message>
        <source>Press “PWM Force”: the output calibration begins.</source>
        <translation>Nyomja be a „PWM Force” gombot: kezdődik a kimenet kalibrálása.</translation>
    </message>
    <message>
        <source>Bring the output to 4 mA (slider, − / + buttons), then “Set as 4 mA”.</source>
        <translation>Állítsa a kimenetet 4 mA-re (csúszka, − / + gombok), majd „Set as 4 mA”.</translation>
    </message>
    <message>
        <source>Bring the output to 20 mA, then “Set as 20 mA”.</source>
        <translation>Állítsa a kimenetet 20 mA-re, majd „Set as 20 mA”.</translation>
    </message>
    <message>
        <source>Release “PWM Force”: the output calibration ends.</source>
        <translation>Engedje fel a „PWM Force” gombot: véget ér a kimenet kalibrálása.</translation>
    </message>
    <message>
        <source>“Reset”: the instrument starts with the new calibration.</source>
        <translation>„Reset”: a műszer az új kalibrálással indul újra.</translation>
    </message>
    <message>
        <source>Apply zero pressure, then “Zero”.</source>
        <translation>Adjon rá nulla nyomást, majd „Zero”.</translation>
    </message>
    <message>
        <source>“Reset” again: calibration done.</source>
        <translation>Ismét „Reset”: a kalibrálás kész.</translation>
    </message>
    <message>
        <source>no answer came</source>
        <translation>nem jött válasz</translation>
    </message>
    <message>
        <source>the instrument refused it</source>
        <translation>a műszer elutasította</translation>
    </message>
    <message>
        <source>the port closed</source>
        <translation>a port bezárult</translation>
    </message>
    <message>
        <source>it failed</source>
        <translation>nem sikerült</translation>
    </message>
    <message>
        <source>a point did not take: repeat steps 3–4 (input) and 5–8 (output)</source>
        <translation>egy pont nem rögzült: ismételje meg a 3–4. (bemenet) és az 5–8. (kimenet) lépést</translation>
    </message>
    <message>
        <source>check the sensor and its wiring</source>
        <translation>ellenőrizze a szenzort és a bekötését</translation>
    </message>
    <message>
        <source>store the settings again (step 2)</source>
        <translation>tárolja el újra a beállításokat (2. lépés)</translation>
    </message>
    <message>
        <source>the pressure applied is beyond the sensor&apos;s range</source>
        <translation>a ráadott nyomás kívül esik a szenzor méréstartományán</translation>
    </message>
    <message>
        <source>the pressure lies outside the span (4 mA / 20 mA settings), or the zero or scale end did not take</source>
        <translation>a nyomás kívül esik a tartományon (4 mA / 20 mA beállítás), vagy a nullpont, illetve a végkitérés nem rögzült</translation>
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
        <source>no reading</source>
        <translation>nincs mérés</translation>
    </message>
    <message>
        <source>moved between %1 and %2 over the last %3 s (settled is within %4)</source>
        <translation>%1 és %2 között változott az utolsó %3 s alatt (beállt, ha %4 értéken belül marad)</translation>
    </message>
    <message>
        <source>“%1” failed (%2), so it is not ticked. The request stays latched and goes out again after the next poll; if it keeps failing, check the line.</source>
        <translation>A(z) „%1” nem sikerült (%2), ezért nincs kipipálva. A kérés függőben marad, és a következő lekérdezés után újra elmegy; ha továbbra sem sikerül, ellenőrizze a vonalat.</translation>
    </message>
    <message>
        <source>not acknowledged yet (%1)</source>
        <translation>még nincs nyugtázva (%1)</translation>
    </message>
    <message>
        <source>Calibrated: the instrument reports no error flag; calibration date %1.</source>
        <translation>Kalibrálva: a műszer nem jelez hibát; a kalibrálás dátuma %1.</translation>
    </message>
    <message>
        <source>“%1” (%2)</source>
        <translation>„%1” (%2)</translation>
    </message>
    <message>
        <source>Not calibrated: the instrument still reports %1. %2.</source>
        <translation>Nincs kalibrálva: a műszer még mindig jelzi: %1. %2.</translation>
    </message>
    <message>
        <source>The instrument&apos;s memory was erased: the calibration starts again from step 1.</source>
        <translation>A műszer memóriája törölve: a kalibrálás az 1. lépéstől kezdődik újra.</translation>
    </message>
    <message>
        <source>the instrument holds sensor code %1</source>
        <translation>a műszerben a(z) %1. szenzorkód van</translation>
    </message>
    <message>
        <source>the instrument holds %1</source>
        <translation>a műszerben: %1</translation>
    </message>
    <message>
        <source>acknowledged</source>
        <translation>nyugtázva</translation>
    </message>
    <message>
        <source>⚠ acknowledged, but taken while the reading was still moving: apply the pressure, wait for “ADC settled” and press “%1” again</source>
        <translation>⚠ nyugtázva, de a mért érték még változott: adja rá a nyomást, várja meg az „ADC beállt” jelzést, és nyomja meg újra: „%1”</translation>
    </message>
    <message>
        <source>“%1” was acknowledged out of order (the guide is at step %2), so no step is ticked for it.</source>
        <translation>A(z) „%1” soron kívül lett nyugtázva (az útmutató a(z) %2. lépésnél tart), ezért egy lépés sincs kipipálva.</translation>
    </message>
    <message>
        <source>the output is forced</source>
        <translation>a kimenet kényszerítve</translation>
    </message>
    <message>
        <source>the output follows the pressure again</source>
        <translation>a kimenet ismét a nyomást követi</translation>
    </message>
    <message>
        <source>temperature input: no pressure sensor</source>
        <translation>hőmérséklet-bemenet: nincs nyomásszenzor</translation>
    </message>
    <message>
        <source>&lt;span style=&apos;color:%1&apos;&gt;&lt;b&gt;○ ADC: no reading yet&lt;/b&gt;&lt;/span&gt;</source>
        <translation>&lt;span style=&apos;color:%1&apos;&gt;&lt;b&gt;○ ADC: még nincs mérés&lt;/b&gt;&lt;/span&gt;</translation>
    </message>
    <message>
        <source>&lt;span style=&apos;color:%1&apos;&gt;&lt;b&gt;● ADC settled&lt;/b&gt;&lt;/span&gt; (steady over the averaging window, %2 s)</source>
        <translation>&lt;span style=&apos;color:%1&apos;&gt;&lt;b&gt;● ADC beállt&lt;/b&gt;&lt;/span&gt; (az átlagolási ablakban stabil, %2 s)</translation>
    </message>
    <message>
        <source>&lt;span style=&apos;color:%1&apos;&gt;&lt;b&gt;○ ADC settling&lt;/b&gt;&lt;/span&gt;: the reading %2; wait before pressing the button</source>
        <translation>&lt;span style=&apos;color:%1&apos;&gt;&lt;b&gt;○ ADC áll be&lt;/b&gt;&lt;/span&gt;: a mért érték %2; várjon a gomb megnyomásával</translation>
    </message>
    <message>
        <source>Calibration guide – %1</source>
        <translation>Kalibrálási útmutató – %1</translation>
    </message>
    <message>
        <source>The steps of the calibration page (Ctrl+Tab). A step is ticked when the instrument has acknowledged it.</source>
        <translation>A kalibrálási lap lépései (Ctrl+Tab). Egy lépés akkor kap pipát, amikor a műszer nyugtázta.</translation>
    </message>
    <message>
        <source>Start over</source>
        <translation>Újrakezdés</translation>
    </message>
    <message>
        <source>Clear the ticks, for the next calibration</source>
        <translation>A pipák törlése a következő kalibráláshoz</translation>
    </message>
    <message>
        <source>Waiting for the instrument&apos;s first poll after the restart…</source>
        <translation>Várakozás a műszer újraindulás utáni első lekérdezésére…</translation>
    </message>
</context>
<context>
    <name>TSettingsFiles</name>
    <message>
        <source>Settings files (*.json);;All files (*)</source>
        <translation>Beállításfájlok (*.json);;Minden fájl (*)</translation>
    </message>
    <message>
        <source>Settings compared with file – %1</source>
        <translation>Beállítások összehasonlítása fájllal – %1</translation>
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
mentve: %2 (%3)
%4</translation>
    </message>
    <message>
        <source>The instrument holds the file&apos;s settings.</source>
        <translation>A műszerben a fájl beállításai vannak.</translation>
    </message>
    <message>
        <source>%1 of 7 settings differ (marked).</source>
        <translation>A 7 beállításból %1 eltér (jelölve).</translation>
    </message>
    <message>
        <source>Setting</source>
        <translation>Beállítás</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Fájl</translation>
    </message>
    <message>
        <source>Instrument</source>
        <translation>Műszer</translation>
    </message>
    <message>
        <source>Save settings to file</source>
        <translation>Beállítások mentése fájlba</translation>
    </message>
    <message>
        <source>Load settings from file</source>
        <translation>Beállítások betöltése fájlból</translation>
    </message>
    <message>
        <source>Compare settings with file</source>
        <translation>Beállítások összehasonlítása fájllal</translation>
    </message>
    <message>
        <source>Another settings file operation is still running: wait for it to end, then try again.</source>
        <translation>Még fut egy másik beállításfájl-művelet: várja meg a végét, majd próbálja újra.</translation>
    </message>
    <message>
        <source>The port is closed: open it with “%1”, then try again.</source>
        <translation>A port zárva van: nyissa meg a(z) „%1” gombbal, majd próbálja újra.</translation>
    </message>
    <message>
        <source>Cannot write %1: it is not a regular file. Choose a file name.</source>
        <translation>A(z) %1 nem írható: nem közönséges fájl. Válasszon fájlnevet.</translation>
    </message>
    <message>
        <source>Cannot read %1: there is no such file.</source>
        <translation>A(z) %1 nem olvasható: nincs ilyen fájl.</translation>
    </message>
    <message>
        <source>Cannot read %1: it is not a regular file. Choose a settings file.</source>
        <translation>A(z) %1 nem olvasható: nem közönséges fájl. Válasszon beállításfájlt.</translation>
    </message>
    <message>
        <source>%1 is larger than 1 MiB, so it is not a settings file of this tool; nothing was written to the instrument.</source>
        <translation>A(z) %1 nagyobb 1 MiB-nál, így nem ennek a programnak a beállításfájlja; a műszerbe semmi sem lett írva.</translation>
    </message>
    <message>
        <source>Cannot read %1: %2. Check the file&apos;s permissions.</source>
        <translation>A(z) %1 nem olvasható: %2. Ellenőrizze a fájl jogosultságait.</translation>
    </message>
    <message>
        <source>%1 is refused: %2. Nothing was written to the instrument; choose a file saved by this window or by kv508ctl backup.</source>
        <translation>A(z) %1 elutasítva: %2. A műszerbe semmi sem lett írva; válasszon az ablakkal vagy a kv508ctl backup paranccsal mentett fájlt.</translation>
    </message>
    <message>
        <source>%1 is refused: %2 %3 is out of range (the instrument had no valid settings when it was saved). Nothing was written.</source>
        <translation>A(z) %1 elutasítva: a(z) %2 értéke (%3) tartományon kívül esik (mentéskor a műszerben nem volt érvényes beállítás). Semmi sem lett írva.</translation>
    </message>
    <message>
        <source>%1 is refused: %2. Nothing was written (kv508ctl restore --force writes an inverted span, for an output meant to act in reverse).</source>
        <translation>A(z) %1 elutasítva: %2. Semmi sem lett írva (a kv508ctl restore --force fordított tartományt is beír, fordított működésű kimenethez).</translation>
    </message>
    <message>
        <source>Loaded the settings of %1 into the instrument and verified them by reading back.</source>
        <translation>A(z) %1 beállításai betöltve a műszerbe, és visszaolvasással ellenőrizve.</translation>
    </message>
    <message>
        <source>The instrument holds other values than were written:
%1
Check the instrument and load the file again.</source>
        <translation>A műszerben más értékek vannak, mint amit beírtunk:
%1
Ellenőrizze a műszert, és töltse be újra a fájlt.</translation>
    </message>
    <message>
        <source>%1: written %2, read back %3</source>
        <translation>%1: beírva %2, visszaolvasva %3</translation>
    </message>
    <message>
        <source>The port closed while the load waited for your answer: nothing was written. Open the port and load %1 again.</source>
        <translation>A port bezárult, amíg a betöltés a válaszára várt: semmi sem lett írva. Nyissa meg a portot, és töltse be újra: %1.</translation>
    </message>
    <message>
        <source>The port closed before the load was verified: the settings may or may not have been stored. Open the port and compare with %1, or load it again.</source>
        <translation>A port a betöltés ellenőrzése előtt bezárult: nem tudni, eltárolódtak-e a beállítások. Nyissa meg a portot, és hasonlítsa össze a következővel: %1, vagy töltse be újra.</translation>
    </message>
    <message>
        <source>The port closed before the settings of %1 were written: nothing was written. Open the port and load it again.</source>
        <translation>A port bezárult, mielőtt a(z) %1 beállításai beíródtak volna: semmi sem lett írva. Nyissa meg a portot, és töltse be újra.</translation>
    </message>
    <message>
        <source>The port closed before the instrument&apos;s settings were read: nothing was saved. Open the port and try again.</source>
        <translation>A port bezárult, mielőtt a műszer beállításai beolvasódtak volna: semmi sem lett mentve. Nyissa meg a portot, és próbálja újra.</translation>
    </message>
    <message>
        <source>The port closed before the instrument&apos;s settings were read: nothing was written. Open the port and try again.</source>
        <translation>A port bezárult, mielőtt a műszer beállításai beolvasódtak volna: semmi sem lett írva. Nyissa meg a portot, és próbálja újra.</translation>
    </message>
    <message>
        <source>The port closed before the instrument&apos;s settings were read: nothing was compared. Open the port and try again.</source>
        <translation>A port bezárult, mielőtt a műszer beállításai beolvasódtak volna: nem történt összehasonlítás. Nyissa meg a portot, és próbálja újra.</translation>
    </message>
    <message>
        <source>The instrument holds the settings of %1: no differences.</source>
        <translation>A műszerben a(z) %1 beállításai vannak: nincs eltérés.</translation>
    </message>
    <message>
        <source>%1 of the settings differ from %2.</source>
        <translation>%1 beállítás eltér a következőtől: %2.</translation>
    </message>
    <message>
        <source>The instrument already holds the settings of %1: nothing written.</source>
        <translation>A műszerben már a(z) %1 beállításai vannak: semmi sem lett írva.</translation>
    </message>
    <message>
        <source>%1: file %2, instrument %3</source>
        <translation>%1: fájl %2, műszer %3</translation>
    </message>
    <message>
        <source>The file comes from firmware %1, this instrument runs %2.</source>
        <translation>A fájl a(z) %1 firmware-ből származik, ezen a műszeren %2 fut.</translation>
    </message>
    <message>
        <source>Write these settings of %1 to the instrument?

%2</source>
        <translation>Beírja a műszerbe a(z) %1 alábbi beállításait?

%2</translation>
    </message>
    <message>
        <source>Not loaded: nothing was written to the instrument.</source>
        <translation>Nincs betöltve: a műszerbe semmi sem lett írva.</translation>
    </message>
    <message>
        <source>The page could not take the settings of %1 as they are: nothing was written.</source>
        <translation>A lap nem tudta változatlanul átvenni a(z) %1 beállításait: semmi sem lett írva.</translation>
    </message>
    <message>
        <source>Cannot write %1: %2. Check the folder exists and is writable.</source>
        <translation>A(z) %1 nem írható: %2. Ellenőrizze, hogy a mappa létezik és írható.</translation>
    </message>
    <message>
        <source>The instrument&apos;s settings were saved to %1.</source>
        <translation>A műszer beállításai mentve ide: %1.</translation>
    </message>
    <message>
        <source> The instrument holds no valid settings (%1 %2; erased?): loading this file will be refused.</source>
        <translation> A műszerben nincs érvényes beállítás (%1 %2; törölve?): ennek a fájlnak a betöltését a program el fogja utasítani.</translation>
    </message>
    <message>
        <source>Settings file</source>
        <translation>Beállításfájl</translation>
    </message>
</context>
</TS>
