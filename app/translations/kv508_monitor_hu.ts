<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="hu_HU">
<context>
    <name>LineMonitor</name>
    <message>
        <source>Cannot create %1%2. Choose a folder you may write to.</source>
        <translation>A(z) %1 nem hozható létre%2. Válasszon olyan mappát, amelybe írhat.</translation>
    </message>
    <message>
        <source>Cannot write %1%2; nothing was saved and an existing file was left as it was. Free some disk space or choose another place.</source>
        <translation>A(z) %1 nem írható%2; semmi sem lett mentve, a meglévő fájl változatlan maradt. Szabadítson fel helyet a lemezen, vagy válasszon másik helyet.</translation>
    </message>
    <message>
        <source>Saving %1 was cancelled; nothing was saved.</source>
        <translation>A(z) %1 mentése megszakadt; semmi sem lett mentve.</translation>
    </message>
</context>
<context>
    <name>TLineMonitorWindow</name>
    <message>
        <source>Resume</source>
        <translation>Folytatás</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Szünet</translation>
    </message>
    <message>
        <source>All</source>
        <translation>Mind</translation>
    </message>
    <message>
        <source>Problems only</source>
        <translation>Csak a hibák</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Egyik sem</translation>
    </message>
    <message>
        <source>%1; %2 shown by the filter</source>
        <translation>%1; a szűrő szerint %2 látszik</translation>
    </message>
    <message>
        <source>Saving to %1…</source>
        <translation>Mentés ide: %1…</translation>
    </message>
    <message>
        <source>Not saved</source>
        <translation>Nincs mentve</translation>
    </message>
    <message>
        <source>CSV (*.csv)</source>
        <translation>CSV (*.csv)</translation>
    </message>
    <message>
        <source>Text (*.txt)</source>
        <translation>Szöveg (*.txt)</translation>
    </message>
    <message>
        <source>Save the frames the list shows</source>
        <translation>A listában látható keretek mentése</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>Minden fájl (*)</translation>
    </message>
    <message>
        <source>%1 — Line monitor</source>
        <translation>%1 — Vonalfigyelő</translation>
    </message>
    <message>
        <source>Freeze the list; frames are still recorded and shown on resuming (Space)</source>
        <translation>A lista megállítása; a keretek rögzítése folytatódik, folytatáskor megjelennek (Szóköz)</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Törlés</translation>
    </message>
    <message>
        <source>Forget the frames recorded so far</source>
        <translation>Az eddig rögzített keretek elvetése</translation>
    </message>
    <message>
        <source>Command:</source>
        <translation>Parancs:</translation>
    </message>
    <message>
        <source>Show the frames of one command only</source>
        <translation>Csak egy parancs kereteinek megjelenítése</translation>
    </message>
    <message>
        <source>Other commands</source>
        <translation>Egyéb parancsok</translation>
    </message>
    <message>
        <source>No frame (noise, cut)</source>
        <translation>Nem keret (zaj, csonka)</translation>
    </message>
    <message>
        <source>Verdicts:</source>
        <translation>Minősítés:</translation>
    </message>
    <message>
        <source>Show the frames of the checked verdicts only</source>
        <translation>Csak a bejelölt minősítésű keretek megjelenítése</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Másolás</translation>
    </message>
    <message>
        <source>Copy the selected rows as text (Ctrl+C)</source>
        <translation>A kijelölt sorok másolása szövegként (Ctrl+C)</translation>
    </message>
    <message>
        <source>Save…</source>
        <translation>Mentés…</translation>
    </message>
    <message>
        <source>Save the rows the list shows as text or CSV (Ctrl+S)</source>
        <translation>A listában látható sorok mentése szövegként vagy CSV-ként (Ctrl+S)</translation>
    </message>
    <message>
        <source>Copy rows</source>
        <translation>Sorok másolása</translation>
    </message>
    <message>
        <source>Select all</source>
        <translation>Összes kijelölése</translation>
    </message>
    <message numerus="yes">
        <source>%n verdicts</source>
        <translation>
            <numerusform>%n minősítés</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1 frames recorded, the last %2 kept (at most %3)</source>
        <translation>
            <numerusform>%1 keret rögzítve, az utolsó %2 megőrizve (legfeljebb %3)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Paused: %1 new frames wait for Resume</source>
        <translation>
            <numerusform>Szünet: %1 új keret vár a folytatásra</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Saved %1 frames to %2</source>
        <translation>
            <numerusform>%1 keret mentve ide: %2</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>TMonitorModel</name>
    <message>
        <source>query</source>
        <translation>kérés</translation>
    </message>
    <message>
        <source>answer</source>
        <translation>válasz</translation>
    </message>
    <message>
        <source>late answer, dropped</source>
        <translation>késett válasz, eldobva</translation>
    </message>
    <message>
        <source>CRC error</source>
        <translation>CRC-hiba</translation>
    </message>
    <message>
        <source>foreign address</source>
        <translation>idegen cím</translation>
    </message>
    <message>
        <source>malformed</source>
        <translation>hibás formájú</translation>
    </message>
    <message>
        <source>time-out</source>
        <translation>időtúllépés</translation>
    </message>
    <message>
        <source>foreign ID</source>
        <translation>idegen azonosító</translation>
    </message>
    <message>
        <source>answer (query not seen)</source>
        <translation>válasz (kérés nélkül)</translation>
    </message>
    <message>
        <source>answer: slave error</source>
        <translation>válasz: slave hiba</translation>
    </message>
    <message>
        <source>The instrument refused the request (status %1): the request stays latched and is sent again.</source>
        <translation>A műszer elutasította a kérést (állapot: %1): a kérés függőben marad, és újra elmegy.</translation>
    </message>
    <message>
        <source>The answer to a request sent before the monitor started; the window took it.</source>
        <translation>Válasz egy, a figyelés indulása előtt küldött kérésre; az ablak átvette.</translation>
    </message>
    <message>
        <source>A request sent before the monitor started got no answer in time: the component sent it again or gave up.</source>
        <translation>A figyelés indulása előtt küldött kérésre nem jött időben válasz: a komponens újraküldte vagy feladta.</translation>
    </message>
    <message>
        <source>A request this program sent.</source>
        <translation>A program által küldött kérés.</translation>
    </message>
    <message>
        <source>The answer to the waiting request; the window took it.</source>
        <translation>Válasz a várakozó kérésre; az ablak átvette.</translation>
    </message>
    <message>
        <source>An answer no request was waiting for: it came after its request had timed out, or answers another command. The component dropped it.</source>
        <translation>Olyan válasz, amelyre egy kérés sem várt: a kérése már túllépte az időt, vagy másik parancsra válaszol. A komponens eldobta.</translation>
    </message>
    <message>
        <source>The check sum does not match the characters: damaged on the line, dropped.</source>
        <translation>Az ellenőrzőösszeg nem egyezik a karakterekkel: a vonalon sérült, eldobva.</translation>
    </message>
    <message>
        <source>A frame for another address than this instrument&apos;s: dropped.</source>
        <translation>Másik címre szóló keret, nem ennek a műszernek: eldobva.</translation>
    </message>
    <message>
        <source>Characters that make no frame (noise, a frame cut short, a bad digit): dropped.</source>
        <translation>Keretet nem alkotó karakterek (zaj, csonka keret, hibás számjegy): eldobva.</translation>
    </message>
    <message>
        <source>The request this row repeats got no answer in time: the component sent it again or gave up. The row stands at that moment.</source>
        <translation>Az ebben a sorban ismételt kérésre nem jött időben válasz: a komponens újraküldte vagy feladta. A sor ennek a pillanatát mutatja.</translation>
    </message>
    <message>
        <source>A frame of another device ID: the component takes such an answer as a slave error.</source>
        <translation>Másik eszközazonosítójú keret: a komponens az ilyen választ slave hibának veszi.</translation>
    </message>
    <message>
        <source>Milliseconds since the port opened</source>
        <translation>A port megnyitása óta eltelt ezredmásodpercek</translation>
    </message>
    <message>
        <source>Sent by this program</source>
        <translation>A program küldte</translation>
    </message>
    <message>
        <source>Received from the line</source>
        <translation>A vonalról érkezett</translation>
    </message>
    <message>
        <source>No.</source>
        <translation>Ssz.</translation>
    </message>
    <message>
        <source>ms</source>
        <translation>ms</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Idő</translation>
    </message>
    <message>
        <source>Dir</source>
        <translation>Irány</translation>
    </message>
    <message>
        <source>Verdict</source>
        <translation>Minősítés</translation>
    </message>
    <message>
        <source>Command</source>
        <translation>Parancs</translation>
    </message>
    <message>
        <source>Raw frame</source>
        <translation>Nyers keret</translation>
    </message>
    <message>
        <source>Fields</source>
        <translation>Mezők</translation>
    </message>
    <message>
        <source>The frame&apos;s number since the monitor started</source>
        <translation>A keret sorszáma a figyelés indulása óta</translation>
    </message>
    <message>
        <source>Local time of the frame&apos;s last character</source>
        <translation>A keret utolsó karakterének helyi ideje</translation>
    </message>
    <message>
        <source>TX: sent by this program; RX: received</source>
        <translation>TX: a program küldte; RX: érkezett</translation>
    </message>
    <message>
        <source>What became of the frame</source>
        <translation>Mi lett a kerettel</translation>
    </message>
    <message>
        <source>The instrument command the frame carries</source>
        <translation>A keretben szereplő műszerparancs</translation>
    </message>
    <message>
        <source>The characters as they crossed the line (junk escaped as \xHH)</source>
        <translation>A karakterek, ahogy a vonalon átmentek (a szemét \xHH alakban)</translation>
    </message>
    <message>
        <source>The command&apos;s fields, decoded</source>
        <translation>A parancs mezői, dekódolva</translation>
    </message>
</context>
</TS>
