<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="hu_HU">
<context>
    <name>Calibration</name>
    <message>
        <source>not done</source>
        <translation>nem történt meg</translation>
    </message>
    <message>
        <source>incomplete</source>
        <translation>hiányos</translation>
    </message>
    <message>
        <source>PASS</source>
        <translation>MEGFELELT</translation>
    </message>
    <message>
        <source>FAIL</source>
        <translation>NEM FELELT MEG</translation>
    </message>
    <message>
        <source>pending</source>
        <translation>függőben</translation>
    </message>
    <message>
        <source>As-Found</source>
        <translation>Átvételkor</translation>
    </message>
    <message>
        <source>As-Left</source>
        <translation>Kiadáskor</translation>
    </message>
</context>
<context>
    <name>Certificate</name>
    <message>
        <source>not stated</source>
        <translation>nincs megadva</translation>
    </message>
    <message>
        <source>not measured</source>
        <translation>nem mért</translation>
    </message>
    <message>
        <source>Point
% of span</source>
        <translation>Pont
(tartomány %)</translation>
    </message>
    <message>
        <source>Applied
%1</source>
        <translation>Beállított
%1</translation>
    </message>
    <message>
        <source>Expected
mA</source>
        <translation>Várt
mA</translation>
    </message>
    <message>
        <source>Measured
mA (ref.)</source>
        <translation>Mért
mA (ref.)</translation>
    </message>
    <message>
        <source>Instrument
shows %1</source>
        <translation>Műszer
kijelzi, %1</translation>
    </message>
    <message>
        <source>Instrument
reports mA</source>
        <translation>Műszer
jelzi, mA</translation>
    </message>
    <message>
        <source>Error
% of span</source>
        <translation>Hiba
(tartomány %)</translation>
    </message>
    <message>
        <source>U (k = 2)
% of span</source>
        <translation>U (k = 2)
(tartomány %)</translation>
    </message>
    <message>
        <source>Result</source>
        <translation>Eredmény</translation>
    </message>
    <message>
        <source>Result: PASS — within ± %1 % of span as left</source>
        <translation>Eredmény: MEGFELELT — kiadási állapotban a méréstartomány ± %1 %-án belül</translation>
    </message>
    <message>
        <source>Result: PASS — within ± %1 % of span as found</source>
        <translation>Eredmény: MEGFELELT — átvételi állapotban a méréstartomány ± %1 %-án belül</translation>
    </message>
    <message>
        <source>Result: FAIL — outside ± %1 % of span as left</source>
        <translation>Eredmény: NEM FELELT MEG — kiadási állapotban a méréstartomány ± %1 %-án kívül</translation>
    </message>
    <message>
        <source>Result: FAIL — outside ± %1 % of span as found</source>
        <translation>Eredmény: NEM FELELT MEG — átvételi állapotban a méréstartomány ± %1 %-án kívül</translation>
    </message>
    <message>
        <source>Result: PENDING — adjusted; the As-Left check is not complete</source>
        <translation>Eredmény: FÜGGŐBEN — beállítva; a kiadási állapot ellenőrzése nem teljes</translation>
    </message>
    <message>
        <source>Result: INCOMPLETE — not every test point was measured</source>
        <translation>Eredmény: HIÁNYOS — nem minden vizsgálati pont lett megmérve</translation>
    </message>
    <message>
        <source>As-Found %1 · As-Left %2</source>
        <translation>Átvételkor %1 · Kiadáskor %2</translation>
    </message>
    <message>
        <source>Certificate no.</source>
        <translation>Bizonyítvány száma</translation>
    </message>
    <message>
        <source>Calibration Certificate</source>
        <translation>Kalibrálási bizonyítvány</translation>
    </message>
    <message>
        <source>KV508 I pressure transmitter, 4–20 mA output: As-Found / As-Left check against reference instruments</source>
        <translation>KV508 I nyomástávadó, 4–20 mA kimenet: átvételi és kiadási állapot ellenőrzése referencia műszerekkel</translation>
    </message>
    <message>
        <source>DRAFT — the record is not finished; this is not a valid certificate</source>
        <translation>PISZKOZAT — a jegyzőkönyv nincs lezárva; ez nem érvényes bizonyítvány</translation>
    </message>
    <message>
        <source>Instrument and check</source>
        <translation>Műszer és ellenőrzés</translation>
    </message>
    <message>
        <source>Instrument tag</source>
        <translation>Műszer azonosító (tag)</translation>
    </message>
    <message>
        <source>Serial number</source>
        <translation>Gyári szám</translation>
    </message>
    <message>
        <source>Model</source>
        <translation>Típus</translation>
    </message>
    <message>
        <source>Firmware</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>Sensor</source>
        <translation>Érzékelő</translation>
    </message>
    <message>
        <source>Range (As-Found)</source>
        <translation>Méréstartomány (átvételkor)</translation>
    </message>
    <message>
        <source>Calibration date as found</source>
        <translation>Kalibrálás dátuma átvételkor</translation>
    </message>
    <message>
        <source>Range (As-Left)</source>
        <translation>Méréstartomány (kiadáskor)</translation>
    </message>
    <message>
        <source>Date of check</source>
        <translation>Ellenőrzés dátuma</translation>
    </message>
    <message>
        <source>Technician</source>
        <translation>Technikus</translation>
    </message>
    <message>
        <source>Ambient temperature</source>
        <translation>Környezeti hőmérséklet</translation>
    </message>
    <message>
        <source>Relative humidity</source>
        <translation>Relatív páratartalom</translation>
    </message>
    <message>
        <source>Tolerance</source>
        <translation>Tűrés</translation>
    </message>
    <message>
        <source>± %1 % of span</source>
        <translation>a méréstartomány ± %1 %-a</translation>
    </message>
    <message>
        <source>Next calibration due</source>
        <translation>Következő kalibrálás</translation>
    </message>
    <message>
        <source>Remarks</source>
        <translation>Megjegyzés</translation>
    </message>
    <message>
        <source>Reference instruments</source>
        <translation>Referencia műszerek</translation>
    </message>
    <message>
        <source>Use</source>
        <translation>Szerep</translation>
    </message>
    <message>
        <source>Instrument</source>
        <translation>Műszer</translation>
    </message>
    <message>
        <source>Serial no.</source>
        <translation>Gyári szám</translation>
    </message>
    <message>
        <source>Due</source>
        <translation>Érvényes</translation>
    </message>
    <message>
        <source>Decision rule: simple acceptance. A point passes when the magnitude of its error is within the tolerance of ± %1 % of span; the expanded uncertainty U is stated beside each result and is not deducted from the tolerance (no guard band).</source>
        <translation>Döntési szabály: egyszerű elfogadás. Egy pont megfelel, ha hibájának abszolút értéke a méréstartomány ± %1 %-os tűrésén belül van; a kiterjesztett mérési bizonytalanság (U) minden eredmény mellett szerepel, és nem csökkenti a tűrést (nincs védősáv).</translation>
    </message>
    <message>
        <source>As-Found results</source>
        <translation>Eredmények átvételi állapotban</translation>
    </message>
    <message>
        <source>As-Found</source>
        <translation>Átvételkor</translation>
    </message>
    <message>
        <source>Adjustment</source>
        <translation>Beállítás</translation>
    </message>
    <message>
        <source>The instrument was adjusted: input and output calibrated with the instrument&apos;s eleven-step procedure. Calibration date reported by the instrument afterwards: %1.</source>
        <translation>A műszert beállították: a bemenetet és a kimenetet a műszer tizenegy lépéses eljárásával kalibrálták. A műszer által ezután jelzett kalibrálási dátum: %1.</translation>
    </message>
    <message>
        <source>not read</source>
        <translation>nem olvasható ki</translation>
    </message>
    <message>
        <source>No adjustment was made.</source>
        <translation>Beállítás nem történt.</translation>
    </message>
    <message>
        <source>As-Left results</source>
        <translation>Eredmények kiadási állapotban</translation>
    </message>
    <message>
        <source>As-Left</source>
        <translation>Kiadáskor</translation>
    </message>
    <message>
        <source>Expected current = 4 mA + 16 mA × (applied − lower) / (upper − lower). Error = (measured − expected) / 16 mA × 100 % of span. U (k = 2, about 95 % coverage): root sum of squares of the pressure standard&apos;s and the ammeter&apos;s stated uncertainties, the resolution of the typed readings (rectangular) and the instrument&apos;s repeatability (the spread of its polls); &quot;—&quot;: a reference&apos;s U not stated, or too few polls. &quot;Instrument shows/reports&quot; are the instrument&apos;s own readings averaged over its last polls. The results relate only to the item calibrated at the time of the check.</source>
        <translation>Várt áram = 4 mA + 16 mA × (beállított − alsó) / (felső − alsó). Hiba = (mért − várt) / 16 mA × 100, a méréstartomány %-ában. U (k = 2, kb. 95 %-os lefedettség): a nyomás etalon és a referencia árammérő megadott bizonytalanságának, a beírt leolvasások felbontásának (egyenletes eloszlás) és a műszer ismételhetőségének (lekérdezései szórásának) négyzetes összege; „—”: egy referencia U-ja nincs megadva, vagy kevés volt a lekérdezés. A „Műszer kijelzi/jelzi” oszlopok a műszer saját, utolsó lekérdezéseire átlagolt értékei. Az eredmények csak a kalibrált tételre vonatkoznak, az ellenőrzés időpontjában.</translation>
    </message>
    <message>
        <source>Signature and date</source>
        <translation>Aláírás és dátum</translation>
    </message>
    <message>
        <source>Calibrated by:</source>
        <translation>Kalibrálta:</translation>
    </message>
    <message>
        <source>Approved by:</source>
        <translation>Jóváhagyta:</translation>
    </message>
    <message>
        <source>Approved by %1 on %2</source>
        <translation>Jóváhagyta: %1, %2</translation>
    </message>
    <message>
        <source>Calibration certificate %1 (continued)</source>
        <translation>Kalibrálási bizonyítvány: %1 (folytatás)</translation>
    </message>
    <message>
        <source>page %1 of %2</source>
        <translation>%1/%2. oldal</translation>
    </message>
    <message>
        <source>DRAFT</source>
        <translation>PISZKOZAT</translation>
    </message>
    <message>
        <source>Certificate %1</source>
        <translation>Bizonyítvány: %1</translation>
    </message>
    <message>
        <source>Calibration certificate %1</source>
        <translation>Kalibrálási bizonyítvány: %1</translation>
    </message>
    <message>
        <source>not done</source>
        <translation>nem történt meg</translation>
    </message>
    <message>
        <source>incomplete</source>
        <translation>hiányos</translation>
    </message>
    <message>
        <source>PASS</source>
        <translation>MEGFELELT</translation>
    </message>
    <message>
        <source>FAIL</source>
        <translation>NEM FELELT MEG</translation>
    </message>
    <message>
        <source>pending</source>
        <translation>függőben</translation>
    </message>
    <message>
        <source>Pressure standard</source>
        <translation>Nyomás etalon</translation>
    </message>
    <message>
        <source>Ammeter (loop current)</source>
        <translation>Referencia árammérő (hurokáram)</translation>
    </message>
    <message>
        <source>Thermohygrometer</source>
        <translation>Hő- és páratartalom-mérő</translation>
    </message>
</context>
<context>
    <name>TAutomaticRun</name>
    <message>
        <source>the instrument&apos;s port closed; open it again</source>
        <translation>a műszer soros portja bezárult; nyissa meg újra</translation>
    </message>
    <message>
        <source>The automatic run stopped at %1: the window was closed.</source>
        <translation>Az automatikus futás leállt itt: %1; az ablakot bezárták.</translation>
    </message>
    <message>
        <source>The automatic run stopped: the window was closed.</source>
        <translation>Az automatikus futás leállt: az ablakot bezárták.</translation>
    </message>
    <message>
        <source>The automatic run is under way already.</source>
        <translation>Az automatikus futás már folyamatban van.</translation>
    </message>
    <message>
        <source>No open record: start one with &quot;New record&quot; first.</source>
        <translation>Nincs megnyitott jegyzőkönyv: előbb indítson egyet az „Új jegyzőkönyv” gombbal.</translation>
    </message>
    <message>
        <source>The automatic run needs the meter and the pressure controller: type both addresses and press Connect.</source>
        <translation>Az automatikus futáshoz kell az árammérő és a nyomásszabályzó: írja be mindkét címet, és nyomja meg a Csatlakozás gombot.</translation>
    </message>
    <message>
        <source>The instrument does not answer: open its port in the main window first.</source>
        <translation>A műszer nem válaszol: előbb nyissa meg a soros portját a főablakban.</translation>
    </message>
    <message>
        <source>The instrument&apos;s span is not usable yet: read its settings (open the port) first.</source>
        <translation>A műszer méréstartománya még nem használható: előbb olvassa ki a beállításait (nyissa meg a portot).</translation>
    </message>
    <message>
        <source>Type the sensor&apos;s full-scale pressure in Pa (from its data sheet): the scale end is set there.</source>
        <translation>Írja be az érzékelő végkitérési nyomását Pa-ban (az adatlapjáról): a skálavég ott lesz beállítva.</translation>
    </message>
    <message>
        <source>the settings were not read back within 30 s; check the line</source>
        <translation>a beállítások 30 s alatt nem olvashatók vissza; ellenőrizze a vonalat</translation>
    </message>
    <message>
        <source>the controller did not take its control off</source>
        <translation>a nyomásszabályzó nem kapcsolta ki a szabályozást</translation>
    </message>
    <message>
        <source>%1 point %2 of %3</source>
        <translation>%1 %2/%3. pont</translation>
    </message>
    <message>
        <source>: applying the pressure</source>
        <translation>: nyomás beállítása</translation>
    </message>
    <message>
        <source>the instrument&apos;s span is no longer known; check the line</source>
        <translation>a műszer méréstartománya már nem ismert; ellenőrizze a vonalat</translation>
    </message>
    <message>
        <source>: reading the references</source>
        <translation>: a referenciák leolvasása</translation>
    </message>
    <message>
        <source>the meter&apos;s readings did not come within 20 s</source>
        <translation>az árammérő értékei 20 s alatt nem érkeztek meg</translation>
    </message>
    <message>
        <source>the pressure controller did not come within its limits of %1 in %2 s; check its supply and the connections, then run again</source>
        <translation>a nyomásszabályzó %2 s alatt nem került a %1 határon belülre; ellenőrizze a nyomásellátást és a csatlakozásokat, majd futtassa újra</translation>
    </message>
    <message>
        <source>the instrument did not acknowledge “%1” within %2 s; check the line</source>
        <translation>a műszer %2 s alatt nem nyugtázta ezt: „%1”; ellenőrizze a vonalat</translation>
    </message>
    <message>
        <source>trimming the output to %1 mA</source>
        <translation>a kimenet finombeállítása %1 mA-re</translation>
    </message>
    <message>
        <source>the instrument stopped answering polls; check the line</source>
        <translation>a műszer már nem válaszol a lekérdezésekre; ellenőrizze a vonalat</translation>
    </message>
    <message>
        <source>another record was opened, or this one finished; run again on the record meant</source>
        <translation>közben másik jegyzőkönyv nyílt meg, vagy ez lezárult; futtassa újra a kívánt jegyzőkönyvön</translation>
    </message>
    <message>
        <source>Paused after %1.</source>
        <translation>Szünet ez után: %1.</translation>
    </message>
    <message>
        <source>Automatic run done: As-Found, the eleven steps and As-Left are in the record (acknowledged: %1). Check it, then &quot;Finish record&quot;.</source>
        <translation>Az automatikus futás kész: az átvételi állapot, a tizenegy lépés és a kiadási állapot a jegyzőkönyvben van (nyugtázva: %1). Ellenőrizze, majd „Jegyzőkönyv lezárása”.</translation>
    </message>
    <message>
        <source>Automatic: %1…</source>
        <translation>Automatikus: %1…</translation>
    </message>
    <message>
        <source>the instrument did not take the request (%1 tries failed); check the line</source>
        <translation>a műszer nem fogadta a kérést (%1 próbálkozás sikertelen); ellenőrizze a vonalat</translation>
    </message>
    <message>
        <source>the instrument did not settle within %1 s of the controller; check for leaks</source>
        <translation>a műszer a nyomásszabályzó után %1 s alatt nem állt be; ellenőrizze a tömítettséget</translation>
    </message>
    <message>
        <source>Automatic: %1</source>
        <translation>Automatikus: %1</translation>
    </message>
    <message>
        <source>point %1 was read but not entered: %2</source>
        <translation>a(z) %1. pont le lett olvasva, de nem került be: %2</translation>
    </message>
    <message>
        <source>Automatic: pausing after %1…</source>
        <translation>Automatikus: szünet ez után: %1…</translation>
    </message>
    <message>
        <source>The automatic run was cancelled at %1.</source>
        <translation>Az automatikus futás megszakítva itt: %1.</translation>
    </message>
    <message>
        <source>The automatic run stopped at %1: %2.</source>
        <translation>Az automatikus futás leállt itt: %1; %2.</translation>
    </message>
    <message>
        <source> The instrument acknowledged no calibration point.</source>
        <translation> A műszer egyetlen kalibrálási pontot sem nyugtázott.</translation>
    </message>
    <message>
        <source> The instrument acknowledged: %1.</source>
        <translation> A műszer nyugtázta: %1.</translation>
    </message>
    <message>
        <source> The output is released, the controller&apos;s control off and the record open: run again, or go on by hand.</source>
        <translation> A kimenet felszabadítva, a nyomásszabályzó szabályozása kikapcsolva, a jegyzőkönyv nyitva: futtassa újra, vagy folytassa kézzel.</translation>
    </message>
    <message>
        <source>the trim failed: %1</source>
        <translation>a finombeállítás nem sikerült: %1</translation>
    </message>
</context>
<context>
    <name>TCalibrationWindow</name>
    <message>
        <source>Connecting the reference instruments…</source>
        <translation>A referencia műszerek csatlakoztatása…</translation>
    </message>
    <message>
        <source>Connected to %1; the finished record keeps its references.</source>
        <translation>Csatlakozva: %1; a lezárt jegyzőkönyv megtartja a saját referenciáit.</translation>
    </message>
    <message>
        <source>Connected to %1.</source>
        <translation>Csatlakozva: %1.</translation>
    </message>
    <message>
        <source>No open record to read into: start one with &quot;New record&quot; or continue one from the history.</source>
        <translation>Nincs megnyitott jegyzőkönyv, amibe olvasni lehetne: indítson egyet az „Új jegyzőkönyv” gombbal, vagy folytasson egyet az előzményekből.</translation>
    </message>
    <message>
        <source>No meter connected: type its address (tcp:HOST:PORT or serial:PORT) and press Connect, or type the ammeter&apos;s reading by hand.</source>
        <translation>Nincs árammérő csatlakoztatva: írja be a címét (tcp:HOST:PORT vagy serial:PORT), és nyomja meg a Csatlakozás gombot, vagy írja be kézzel az árammérő értékét.</translation>
    </message>
    <message>
        <source>No point selected: click the row of the point to read.</source>
        <translation>Nincs kijelölt pont: kattintson a leolvasandó pont sorára.</translation>
    </message>
    <message>
        <source>A reading is still under way: wait for it, then read again.</source>
        <translation>Egy leolvasás még folyamatban van: várja meg, majd olvasson újra.</translation>
    </message>
    <message>
        <source>Type the applied value of point %1 first (no pressure controller connected to read it from).</source>
        <translation>Előbb írja be a(z) %1. pont beállított értékét (nincs nyomásszabályzó csatlakoztatva, amiből kiolvasható lenne).</translation>
    </message>
    <message>
        <source>Reading the references for point %1…</source>
        <translation>A referenciák leolvasása a(z) %1. ponthoz…</translation>
    </message>
    <message>
        <source>Point %1 not read: %2</source>
        <translation>A(z) %1. pont nincs leolvasva: %2</translation>
    </message>
    <message>
        <source>The reading came after the record had changed, so it was not entered: read the point again.</source>
        <translation>A leolvasás a jegyzőkönyv megváltozása után érkezett, ezért nem került be: olvassa le újra a pontot.</translation>
    </message>
    <message>
        <source>Point %1 read: %2 mA%3.</source>
        <translation>A(z) %1. pont leolvasva: %2 mA%3.</translation>
    </message>
    <message>
        <source> at %1 Pa</source>
        <translation>, %1 Pa mellett</translation>
    </message>
    <message>
        <source>%1 — Calibration record</source>
        <translation>%1 — Kalibrálási jegyzőkönyv</translation>
    </message>
    <message>
        <source>New record</source>
        <translation>Új jegyzőkönyv</translation>
    </message>
    <message>
        <source>Start a record for the instrument on the line: its firmware, calibration date, sensor and span are read from it</source>
        <translation>Jegyzőkönyv indítása a vonalon lévő műszerhez: a firmware-t, a kalibrálás dátumát, az érzékelőt és a méréstartományt a műszerből olvassa ki</translation>
    </message>
    <message>
        <source>Finish record</source>
        <translation>Lezárás</translation>
    </message>
    <message>
        <source>Close the record: it can be exported but no longer changed</source>
        <translation>A jegyzőkönyv lezárása: ezután exportálható, de nem módosítható</translation>
    </message>
    <message>
        <source>Approve…</source>
        <translation>Jóváhagyás…</translation>
    </message>
    <message>
        <source>A second person approves the finished record: their name and the time go on the certificate</source>
        <translation>Egy második személy hagyja jóvá a lezárt jegyzőkönyvet: a neve és az időpont a bizonyítványra kerül</translation>
    </message>
    <message>
        <source>Certificate PDF…</source>
        <translation>Bizonyítvány PDF…</translation>
    </message>
    <message>
        <source>Print preview…</source>
        <translation>Nyomtatási kép…</translation>
    </message>
    <message>
        <source>Print…</source>
        <translation>Nyomtatás…</translation>
    </message>
    <message>
        <source>CSV…</source>
        <translation>CSV…</translation>
    </message>
    <message>
        <source>Save here…</source>
        <translation>Mentés ide…</translation>
    </message>
    <message>
        <source>The records server does not answer: keep this record, with every point typed, in this computer&apos;s file</source>
        <translation>A jegyzőkönyv-kiszolgáló nem válaszol: a jegyzőkönyv minden beírt ponttal együtt ennek a számítógépnek a fájljába kerül</translation>
    </message>
    <message>
        <source>Check</source>
        <translation>Ellenőrzés</translation>
    </message>
    <message>
        <source>Permitted error in % of span, either side (fixed once the first point is entered)</source>
        <translation>Megengedett hiba a méréstartomány %-ában, mindkét irányban (az első pont bevitele után nem változik)</translation>
    </message>
    <message>
        <source>Test points in % of span, separated by commas or blanks (fixed once the first point is entered)</source>
        <translation>Vizsgálati pontok a méréstartomány %-ában, vesszővel vagy szóközzel elválasztva (az első pont bevitele után nem változnak)</translation>
    </message>
    <message>
        <source>down again (hysteresis)</source>
        <translation>vissza is (hiszterézis)</translation>
    </message>
    <message>
        <source>Tolerance ±</source>
        <translation>Tűrés ±</translation>
    </message>
    <message>
        <source>% of span   Points (%)</source>
        <translation>%   Pontok (%)</translation>
    </message>
    <message>
        <source>Calibration page</source>
        <translation>Kalibrálás lap</translation>
    </message>
    <message>
        <source>Bring the main window&apos;s calibration page forward for the eleven steps</source>
        <translation>A főablak kalibrálási lapjának előhozása a tizenegy lépéshez</translation>
    </message>
    <message>
        <source>&lt;b&gt;As-Found&lt;/b&gt; — before any adjustment</source>
        <translation>&lt;b&gt;Átvételi állapot&lt;/b&gt; — minden beállítás előtt</translation>
    </message>
    <message>
        <source>&lt;b&gt;As-Left&lt;/b&gt; — after the calibration</source>
        <translation>&lt;b&gt;Kiadási állapot&lt;/b&gt; — a kalibrálás után</translation>
    </message>
    <message>
        <source>Save here</source>
        <translation>Mentés ide</translation>
    </message>
    <message>
        <source>Keep this record, with every point typed, in %1 as well?

The points are still stored on the records server once it answers.</source>
        <translation>A jegyzőkönyv minden beírt ponttal a(z) %1 fájlba is kerüljön?

A pontok a jegyzőkönyv-kiszolgálóra is felkerülnek, amint az válaszol.</translation>
    </message>
    <message>
        <source>not stored yet</source>
        <translation>még nincs tárolva</translation>
    </message>
    <message>
        <source>not saved</source>
        <translation>nincs mentve</translation>
    </message>
    <message>
        <source>Record %1 is not finished. It stays in the history and can be continued from there. Start a new record?</source>
        <translation>A(z) %1 jegyzőkönyv nincs lezárva. Az előzmények között marad, onnan folytatható. Indul az új jegyzőkönyv?</translation>
    </message>
    <message>
        <source>not entered</source>
        <translation>nincs bevíve</translation>
    </message>
    <message>
        <source>Not every test point has been measured. Finish the record anyway? It cannot be changed afterwards.</source>
        <translation>Nem minden vizsgálati pont lett megmérve. Mégis lezárja a jegyzőkönyvet? Utána nem módosítható.</translation>
    </message>
    <message>
        <source>Finish record %1? It cannot be changed afterwards.</source>
        <translation>Lezárja a(z) %1 jegyzőkönyvet? Utána nem módosítható.</translation>
    </message>
    <message>
        <source>Certificate as PDF</source>
        <translation>Bizonyítvány PDF-ként</translation>
    </message>
    <message>
        <source>Record as CSV</source>
        <translation>Jegyzőkönyv CSV-ként</translation>
    </message>
    <message>
        <source>Approve record %1</source>
        <translation>A(z) %1 jegyzőkönyv jóváhagyása</translation>
    </message>
    <message>
        <source>Record %1 was made by %2.
Approval is a second person&apos;s: type your name.</source>
        <translation>A(z) %1 jegyzőkönyvet %2 készítette.
A jóváhagyás egy második személy feladata: írja be a nevét.</translation>
    </message>
    <message>
        <source>an unnamed technician</source>
        <translation>egy névtelen technikus</translation>
    </message>
    <message>
        <source>Certificate sent to %1.</source>
        <translation>A bizonyítvány elküldve ide: %1.</translation>
    </message>
    <message>
        <source>The certificate was not printed: %1.</source>
        <translation>A bizonyítvány nem lett kinyomtatva: %1.</translation>
    </message>
    <message>
        <source>Calibration certificate %1</source>
        <translation>Kalibrálási bizonyítvány: %1</translation>
    </message>
    <message>
        <source>Print certificate %1</source>
        <translation>A(z) %1 bizonyítvány nyomtatása</translation>
    </message>
    <message>
        <source>Certificate %1</source>
        <translation>Bizonyítvány: %1</translation>
    </message>
    <message>
        <source>The certificate could not be shown or printed: %1.</source>
        <translation>A bizonyítvány nem jeleníthető meg és nem nyomtatható: %1.</translation>
    </message>
    <message>
        <source>Certificate written to %1.</source>
        <translation>A bizonyítvány elmentve ide: %1.</translation>
    </message>
    <message>
        <source>The certificate was not written: %1.</source>
        <translation>A bizonyítvány nem lett elmentve: %1.</translation>
    </message>
    <message>
        <source>Instrument: no answered polls — open the port in the main window.</source>
        <translation>Műszer: nincs megválaszolt lekérdezés — nyissa meg a portot a főablakban.</translation>
    </message>
    <message>
        <source>&lt;span style=&apos;color:%1&apos;&gt;&lt;b&gt;● stable&lt;/b&gt;&lt;/span&gt;</source>
        <translation>&lt;span style=&apos;color:%1&apos;&gt;&lt;b&gt;● stabil&lt;/b&gt;&lt;/span&gt;</translation>
    </message>
    <message>
        <source>&lt;span style=&apos;color:#b26a00&apos;&gt;&lt;b&gt;○ settling&lt;/b&gt;&lt;/span&gt;</source>
        <translation>&lt;span style=&apos;color:#b26a00&apos;&gt;&lt;b&gt;○ beáll&lt;/b&gt;&lt;/span&gt;</translation>
    </message>
    <message>
        <source>Instrument now: &lt;b&gt;%1 %2&lt;/b&gt; · &lt;b&gt;%3 mA&lt;/b&gt; (mean of the last %4 polls) %5%6</source>
        <translation>Műszer most: &lt;b&gt;%1 %2&lt;/b&gt; · &lt;b&gt;%3 mA&lt;/b&gt; (az utolsó %4 lekérdezés átlaga) %5%6</translation>
    </message>
    <message>
        <source> — span %1 … %2 %3</source>
        <translation> — méréstartomány %1 … %2 %3</translation>
    </message>
    <message>
        <source>&lt;b&gt;Calibrated&lt;/b&gt; with the eleven steps; the instrument now reports calibration date &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>A tizenegy lépéssel &lt;b&gt;kalibrálva&lt;/b&gt;; a műszer most ezt a kalibrálási dátumot jelzi: &lt;b&gt;%1&lt;/b&gt;</translation>
    </message>
    <message>
        <source>(not read yet)</source>
        <translation>(még nincs kiolvasva)</translation>
    </message>
    <message>
        <source>No calibration yet. After As-Found, do the eleven steps on the calibration page (Ctrl+Tab in the main window); the record notes them and the new calibration date.</source>
        <translation>Még nem volt kalibrálás. Az átvételi állapot után végezze el a tizenegy lépést a kalibrálási lapon (Ctrl+Tab a főablakban); a jegyzőkönyv feljegyzi ezeket és az új kalibrálási dátumot.</translation>
    </message>
    <message>
        <source> · approved by &lt;b&gt;%1&lt;/b&gt; on %2</source>
        <translation> · jóváhagyta: &lt;b&gt;%1&lt;/b&gt;, %2</translation>
    </message>
    <message>
        <source> · finished, not approved yet (&quot;Approve…&quot;: a second person)</source>
        <translation> · lezárva, még nincs jóváhagyva („Jóváhagyás…”: egy második személy)</translation>
    </message>
    <message>
        <source>Overall: &lt;b&gt;&lt;span style=&apos;color:%1; font-size:large&apos;&gt;%2&lt;/span&gt;&lt;/b&gt;%3</source>
        <translation>Összesítve: &lt;b&gt;&lt;span style=&apos;color:%1; font-size:large&apos;&gt;%2&lt;/span&gt;&lt;/b&gt;%3</translation>
    </message>
    <message>
        <source>Span of the instrument: %1 … %2 %3 = 4 … 20 mA</source>
        <translation>A műszer méréstartománya: %1 … %2 %3 = 4 … 20 mA</translation>
    </message>
    <message>
        <source>&lt;span style=&apos;color:%1&apos;&gt;Span unusable: %2&lt;/span&gt;</source>
        <translation>&lt;span style=&apos;color:%1&apos;&gt;A méréstartomány nem használható: %2&lt;/span&gt;</translation>
    </message>
    <message>
        <source>Span: not read yet (open the port)</source>
        <translation>Méréstartomány: még nincs kiolvasva (nyissa meg a portot)</translation>
    </message>
    <message>
        <source>No record open: &quot;New record&quot; starts one, or double-click one in the history.</source>
        <translation>Nincs megnyitott jegyzőkönyv: az „Új jegyzőkönyv” indít egyet, vagy kattintson duplán egyre az előzményekben.</translation>
    </message>
    <message>
        <source>PDF (*.pdf)</source>
        <translation>PDF (*.pdf)</translation>
    </message>
    <message>
        <source>CSV (*.csv)</source>
        <translation>CSV (*.csv)</translation>
    </message>
</context>
<context>
    <name>TCertificateHeader</name>
    <message>
        <source>Pressure standard</source>
        <translation>Nyomás etalon</translation>
    </message>
    <message>
        <source>Ammeter (loop current)</source>
        <translation>Referencia árammérő (hurokáram)</translation>
    </message>
    <message>
        <source>Thermohygrometer</source>
        <translation>Hő- és páratartalom-mérő</translation>
    </message>
    <message>
        <source>Certificate</source>
        <translation>Bizonyítvány</translation>
    </message>
    <message>
        <source>Generated for each new record; may be changed</source>
        <translation>Minden új jegyzőkönyvhöz készül; módosítható</translation>
    </message>
    <message>
        <source>The instrument&apos;s tag at the plant (its history is kept under it)</source>
        <translation>A műszer üzemi azonosítója (az előzményei ezen szerepelnek)</translation>
    </message>
    <message>
        <source>Serial number from the instrument&apos;s nameplate</source>
        <translation>Gyári szám a műszer adattáblájáról</translation>
    </message>
    <message>
        <source>Who did the check (printed under the signature line)</source>
        <translation>Ki végezte az ellenőrzést (az aláírási vonal alá kerül)</translation>
    </message>
    <message>
        <source>Ambient temperature in °C</source>
        <translation>Környezeti hőmérséklet, °C</translation>
    </message>
    <message>
        <source>Relative humidity in %</source>
        <translation>Relatív páratartalom, %</translation>
    </message>
    <message>
        <source>When the instrument is next due for calibration</source>
        <translation>Mikor esedékes a műszer következő kalibrálása</translation>
    </message>
    <message>
        <source>Your company or laboratory, printed at the top of the certificate (remembered)</source>
        <translation>Az Ön cége vagy laboratóriuma, a bizonyítvány tetejére kerül (megjegyzi)</translation>
    </message>
    <message>
        <source>Certificate no.</source>
        <translation>Bizonyítvány sz.</translation>
    </message>
    <message>
        <source>Instrument tag</source>
        <translation>Műszer azonosító</translation>
    </message>
    <message>
        <source>Serial no.</source>
        <translation>Gyári szám</translation>
    </message>
    <message>
        <source>Firmware</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>Calibrated (as found)</source>
        <translation>Kalibrálva (átvételkor)</translation>
    </message>
    <message>
        <source>Sensor</source>
        <translation>Érzékelő</translation>
    </message>
    <message>
        <source>Technician</source>
        <translation>Technikus</translation>
    </message>
    <message>
        <source>% RH</source>
        <translation>% RH</translation>
    </message>
    <message>
        <source>Ambient</source>
        <translation>Környezet</translation>
    </message>
    <message>
        <source>Next due</source>
        <translation>Következő</translation>
    </message>
    <message>
        <source>Issued by</source>
        <translation>Kiállító</translation>
    </message>
    <message>
        <source>Remarks</source>
        <translation>Megjegyzés</translation>
    </message>
    <message>
        <source>Certificate language</source>
        <translation>Bizonyítvány nyelve</translation>
    </message>
    <message>
        <source>Hungarian</source>
        <translation>Magyar</translation>
    </message>
    <message>
        <source>English</source>
        <translation>Angol</translation>
    </message>
    <message>
        <source>Hungarian and English</source>
        <translation>Magyar és angol</translation>
    </message>
    <message>
        <source>The language the certificate of this record is printed in (kept with the record)</source>
        <translation>A jegyzőkönyv bizonyítványának nyelve (a jegyzőkönyvvel együtt tárolódik)</translation>
    </message>
    <message>
        <source>Reference instrument</source>
        <translation>Referencia műszer</translation>
    </message>
    <message>
        <source>Name / model</source>
        <translation>Név / típus</translation>
    </message>
    <message>
        <source>Due (yyyy-mm-dd)</source>
        <translation>Érvényes (éééé-hh-nn)</translation>
    </message>
    <message>
        <source>Uncertainty (k = 2)</source>
        <translation>Bizonytalanság (k = 2)</translation>
    </message>
    <message>
        <source>The expanded uncertainty (k = 2) from the reference&apos;s certificate: the pressure standard&apos;s in the instrument&apos;s unit, the ammeter&apos;s in mA (each point&apos;s U is reckoned from these two)</source>
        <translation>A kiterjesztett bizonytalanság (k = 2) a referencia bizonyítványából: a nyomás etaloné a műszer mértékegységében, az árammérőé mA-ben (minden pont U-ja ebből a kettőből számítódik)</translation>
    </message>
    <message>
        <source>Remembered for the next record</source>
        <translation>A következő jegyzőkönyvhöz megjegyzi</translation>
    </message>
    <message>
        <source>Not a number (e.g. 23.5)</source>
        <translation>Nem szám (pl. 23.5)</translation>
    </message>
    <message>
        <source>Not a date: type it as yyyy-mm-dd</source>
        <translation>Nem dátum: éééé-hh-nn alakban írja be</translation>
    </message>
    <message>
        <source>Not a U in %1: type the number from the certificate (e.g. 0.05)</source>
        <translation>Nem %1 egységű U: írja be a számot a bizonyítványból (pl. 0.05)</translation>
    </message>
</context>
<context>
    <name>THistoryPanel</name>
    <message>
        <source>Records: %1</source>
        <translation>Jegyzőkönyvek: %1</translation>
    </message>
    <message>
        <source>History</source>
        <translation>Előzmények</translation>
    </message>
    <message>
        <source>Records of one instrument tag, or of all</source>
        <translation>Egy műszer azonosító jegyzőkönyvei, vagy az összes</translation>
    </message>
    <message>
        <source>All instruments</source>
        <translation>Minden műszer</translation>
    </message>
    <message>
        <source>Tag %1</source>
        <translation>Azonosító: %1</translation>
    </message>
    <message>
        <source>Date</source>
        <translation>Dátum</translation>
    </message>
    <message>
        <source>Certificate</source>
        <translation>Bizonyítvány</translation>
    </message>
    <message>
        <source>Tag</source>
        <translation>Azonosító</translation>
    </message>
    <message>
        <source>As-Found</source>
        <translation>Átvételkor</translation>
    </message>
    <message>
        <source>As-Left</source>
        <translation>Kiadáskor</translation>
    </message>
    <message>
        <source>Next due</source>
        <translation>Következő</translation>
    </message>
    <message>
        <source>Due before</source>
        <translation>Esedékes eddig</translation>
    </message>
    <message>
        <source>Only the records whose next calibration falls due before this day</source>
        <translation>Csak azok a jegyzőkönyvek, amelyeknél a következő kalibrálás e nap előtt esedékes</translation>
    </message>
    <message>
        <source>Double-click a record to open it (an unfinished one can be continued)</source>
        <translation>Dupla kattintás megnyitja a jegyzőkönyvet (a le nem zárt folytatható)</translation>
    </message>
    <message>
        <source>Change…</source>
        <translation>Módosítás…</translation>
    </message>
    <message>
        <source>Keep the records in another file, or on a records server shared by the lab</source>
        <translation>A jegyzőkönyvek másik fájlban, vagy a labor közös jegyzőkönyv-kiszolgálóján</translation>
    </message>
    <message>
        <source>open</source>
        <translation>nyitott</translation>
    </message>
    <message>
        <source>approved</source>
        <translation>jóváhagyva</translation>
    </message>
    <message>
        <source>Approved by %1</source>
        <translation>Jóváhagyta: %1</translation>
    </message>
</context>
<context>
    <name>TPointTable</name>
    <message>
        <source>% span</source>
        <translation>tart. %</translation>
    </message>
    <message>
        <source>Nominal</source>
        <translation>Névleges</translation>
    </message>
    <message>
        <source>Applied</source>
        <translation>Beállított</translation>
    </message>
    <message>
        <source>Ammeter mA</source>
        <translation>Mért mA</translation>
    </message>
    <message>
        <source>Instrument</source>
        <translation>Műszer</translation>
    </message>
    <message>
        <source>Instr. mA</source>
        <translation>Műszer mA</translation>
    </message>
    <message>
        <source>Stable</source>
        <translation>Stabil</translation>
    </message>
    <message>
        <source>Expected mA</source>
        <translation>Várt mA</translation>
    </message>
    <message>
        <source>Error % span</source>
        <translation>Hiba tart. %</translation>
    </message>
    <message>
        <source>U % span</source>
        <translation>U tart. %</translation>
    </message>
    <message>
        <source>Result</source>
        <translation>Eredmény</translation>
    </message>
    <message>
        <source>The reference pressure applied, as read on the standard</source>
        <translation>A beállított referencia nyomás, az etalonon leolvasva</translation>
    </message>
    <message>
        <source>The loop current read on the reference ammeter</source>
        <translation>A referencia árammérőn leolvasott hurokáram</translation>
    </message>
    <message>
        <source>What the instrument reports, averaged over its last polls</source>
        <translation>A műszer által jelzett érték, utolsó lekérdezéseire átlagolva</translation>
    </message>
    <message>
        <source>Expanded uncertainty (k = 2) of the error in % of span: the references&apos; stated U, the last digit of each reading and the instrument&apos;s repeatability. &quot;—&quot;: type the pressure standard&apos;s and the ammeter&apos;s U in the reference instruments, or the point was entered before a full set of polls.</source>
        <translation>A hiba kiterjesztett bizonytalansága (k = 2) a méréstartomány %-ában: a referenciák megadott U-ja, minden leolvasás utolsó számjegye és a műszer ismételhetősége. „—”: írja be a nyomás etalon és az árammérő U-ját a referencia műszereknél, vagy a pont teljes lekérdezéssor előtt került be.</translation>
    </message>
    <message>
        <source>no</source>
        <translation>nem</translation>
    </message>
    <message>
        <source>PASS</source>
        <translation>MEGFELELT</translation>
    </message>
    <message>
        <source>FAIL</source>
        <translation>NEM FELELT MEG</translation>
    </message>
    <message>
        <source>Apply %1 %2 (%3 % of span), type the applied value and the ammeter&apos;s reading</source>
        <translation>Állítson be %1 %2 értéket (a méréstartomány %3 %-a), írja be a beállított értéket és az árammérő értékét</translation>
    </message>
</context>
<context>
    <name>TRecordsLocationDialog</name>
    <message>
        <source>Calibration records location</source>
        <translation>A kalibrálási jegyzőkönyvek helye</translation>
    </message>
    <message>
        <source>This computer&apos;s file</source>
        <translation>Ennek a számítógépnek a fájlja</translation>
    </message>
    <message>
        <source>Browse…</source>
        <translation>Tallózás…</translation>
    </message>
    <message>
        <source>Records file</source>
        <translation>Jegyzőkönyvfájl</translation>
    </message>
    <message>
        <source>Records (*.sqlite)</source>
        <translation>Jegyzőkönyvek (*.sqlite)</translation>
    </message>
    <message>
        <source>A records server (PostgreSQL)</source>
        <translation>Jegyzőkönyv-kiszolgáló (PostgreSQL)</translation>
    </message>
    <message>
        <source>postgresql://bench@lab-db:5432/kv508</source>
        <translation>postgresql://bench@lab-db:5432/kv508</translation>
    </message>
    <message>
        <source>The password is read from ~/.pgpass or PGPASSWORD, never kept here.</source>
        <translation>A jelszót a ~/.pgpass fájlból vagy a PGPASSWORD változóból olvassa, itt sosem tárolja.</translation>
    </message>
    <message>
        <source>Test connection</source>
        <translation>Kapcsolat próbája</translation>
    </message>
    <message>
        <source>Connected: %1, schema version %2, %3 records.</source>
        <translation>Csatlakozva: %1, sémaverzió: %2, %3 jegyzőkönyv.</translation>
    </message>
    <message>
        <source>Connecting to %1…</source>
        <translation>Csatlakozás: %1…</translation>
    </message>
</context>
<context>
    <name>TReferencePanel</name>
    <message>
        <source>meter</source>
        <translation>árammérő</translation>
    </message>
    <message>
        <source>pressure controller</source>
        <translation>nyomásszabályzó</translation>
    </message>
    <message>
        <source>Reference instruments on a line</source>
        <translation>Vonalra kötött referencia műszerek</translation>
    </message>
    <message>
        <source>tcp:HOST:PORT (a bench instrument&apos;s LAN socket, port 5025) or serial:PORT[:BAUD]; empty: typed by hand</source>
        <translation>tcp:HOST:PORT (asztali műszer LAN csatlakozója, 5025-ös port) vagy serial:PORT[:BAUD]; üres: kézi beírás</translation>
    </message>
    <message>
        <source>by hand</source>
        <translation>kézzel</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Csatlakozás</translation>
    </message>
    <message>
        <source>Connect the references named (and remember them); their *IDN? answer fills the reference instruments</source>
        <translation>A megadott referenciák csatlakoztatása (és megjegyzése); a *IDN? válaszuk kitölti a referencia műszereket</translation>
    </message>
    <message>
        <source>Read</source>
        <translation>Leolvasás</translation>
    </message>
    <message>
        <source>Read the meter (the mean of a few readings) into the selected point; with a controller, its reading is the applied value</source>
        <translation>Az árammérő leolvasása (néhány érték átlaga) a kijelölt pontba; nyomásszabályzóval annak értéke a beállított érték</translation>
    </message>
    <message>
        <source>Read automatically</source>
        <translation>Automatikus leolvasás</translation>
    </message>
    <message>
        <source>Once an applied value is typed, read the meter as soon as the instrument is stable</source>
        <translation>A beállított érték beírása után az árammérő leolvasása, amint a műszer stabil</translation>
    </message>
    <message>
        <source>Automatic</source>
        <translation>Automatikus</translation>
    </message>
    <message>
        <source>As-Found, the eleven steps with the output trimmed on the meter, and As-Left, by the controller and the meter alone</source>
        <translation>Átvételi állapot, a tizenegy lépés a kimenet árammérős finombeállításával, és kiadási állapot — csak a nyomásszabályzóval és az árammérővel</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Szünet</translation>
    </message>
    <message>
        <source>Hold the automatic run after the step under way</source>
        <translation>Az automatikus futás megállítása a folyamatban lévő lépés után</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Mégse</translation>
    </message>
    <message>
        <source>Stop the automatic run: the output is released, the controller&apos;s control turned off, the record left open</source>
        <translation>Az automatikus futás leállítása: a kimenet felszabadul, a nyomásszabályzó szabályozása kikapcsol, a jegyzőkönyv nyitva marad</translation>
    </message>
    <message>
        <source>The sensor&apos;s full-scale pressure in Pa, from its data sheet: the scale end is set there</source>
        <translation>Az érzékelő végkitérési nyomása Pa-ban, az adatlapjáról: a skálavég ott lesz beállítva</translation>
    </message>
    <message>
        <source>Meter</source>
        <translation>Árammérő</translation>
    </message>
    <message>
        <source>Pressure controller</source>
        <translation>Nyomásszabályzó</translation>
    </message>
    <message>
        <source>Sensor full scale</source>
        <translation>Érzékelő végkitérése</translation>
    </message>
    <message>
        <source>The %1&apos;s address is not usable: %2.</source>
        <translation>A(z) %1 címe nem használható: %2.</translation>
    </message>
    <message>
        <source>The instrument measures %1, not pressure: a pressure controller cannot apply it. Empty the controller&apos;s field and apply the values by hand.</source>
        <translation>A műszer %1 értéket mér, nem nyomást: nyomásszabályzó nem tudja beállítani. Ürítse ki a nyomásszabályzó mezőjét, és állítsa be kézzel az értékeket.</translation>
    </message>
    <message>
        <source>The %1 is not connected: %2</source>
        <translation>A(z) %1 nincs csatlakoztatva: %2</translation>
    </message>
    <message>
        <source>connecting…</source>
        <translation>csatlakozás…</translation>
    </message>
    <message>
        <source>none connected (typed by hand)</source>
        <translation>nincs csatlakoztatva (kézi beírás)</translation>
    </message>
    <message>
        <source>The meter reading the loop current: %1</source>
        <translation>A hurokáramot mérő árammérő: %1</translation>
    </message>
    <message>
        <source>The pressure controller applying the pressure: %1</source>
        <translation>A nyomást beállító nyomásszabályzó: %1</translation>
    </message>
    <message>
        <source>meter %1</source>
        <translation>árammérő: %1</translation>
    </message>
    <message>
        <source>controller %1</source>
        <translation>nyomásszabályzó: %1</translation>
    </message>
    <message>
        <source>Connected: %1</source>
        <translation>Csatlakozva: %1</translation>
    </message>
</context>
<context>
    <name>calib::TCalibrationSession</name>
    <message>
        <source>%1 Point %2 (%3) is kept here but NOT stored yet: it is stored as soon as the server answers (tried every %4 s). Keep this window open until then, or press &quot;Save here…&quot; to keep the record in this computer&apos;s file.</source>
        <translation>%1 A(z) %2. pont (%3) itt megvan, de még NINCS tárolva: amint a kiszolgáló válaszol, tárolódik (%4 s-onként újrapróbálja). Addig hagyja nyitva ezt az ablakot, vagy a „Mentés ide…” gombbal tegye a jegyzőkönyvet ennek a számítógépnek a fájljába.</translation>
    </message>
    <message>
        <source>%1 The record&apos;s header is kept here but NOT stored yet: it is stored as soon as the server answers.</source>
        <translation>%1 A jegyzőkönyv fejléce itt megvan, de még NINCS tárolva: amint a kiszolgáló válaszol, tárolódik.</translation>
    </message>
    <message>
        <source>Point %1 (%2) was NOT saved: %3 Enter it again once the cause is fixed.</source>
        <translation>A(z) %1. pont (%2) NEM lett mentve: %3 Az ok elhárítása után vigye be újra.</translation>
    </message>
    <message>
        <source>The record header was not saved: %1</source>
        <translation>A jegyzőkönyv fejléce nem lett mentve: %1</translation>
    </message>
    <message>
        <source>The records server answers again: everything typed is stored.</source>
        <translation>A jegyzőkönyv-kiszolgáló újra válaszol: minden beírt adat tárolva.</translation>
    </message>
    <message>
        <source>There is no record to save.</source>
        <translation>Nincs mentendő jegyzőkönyv.</translation>
    </message>
    <message>
        <source>The record was NOT saved to %1: %2</source>
        <translation>A jegyzőkönyv NEM lett mentve ide: %1: %2</translation>
    </message>
    <message>
        <source>The record is saved in %1 as %2 with its %3 points%4. Once the server answers, take it there with: kv508ctl records copy --from sqlite:%1 --to &lt;the server&gt;</source>
        <translation>A jegyzőkönyv mentve ide: %1, %2 számon, %3 ponttal%4. Amint a kiszolgáló válaszol, vigye át így: kv508ctl records copy --from sqlite:%1 --to &lt;a kiszolgáló&gt;</translation>
    </message>
    <message>
        <source> (%1 was taken in that file)</source>
        <translation> (a(z) %1 szám abban a fájlban foglalt volt)</translation>
    </message>
    <message>
        <source>Points typed here are not stored on the records server yet; wait until they are, or save the record here first.</source>
        <translation>Az itt beírt pontok még nincsenek a jegyzőkönyv-kiszolgálón; várja meg, amíg felkerülnek, vagy előbb mentse ide a jegyzőkönyvet.</translation>
    </message>
    <message>
        <source>A record is being started; change the location once it is.</source>
        <translation>Egy jegyzőkönyv indítása folyamatban; a helyet utána módosítsa.</translation>
    </message>
    <message>
        <source>Records are kept in %1 from now on.</source>
        <translation>A jegyzőkönyvek mostantól itt vannak: %1.</translation>
    </message>
    <message>
        <source>The instrument&apos;s span is not known yet: open the port in the main window and wait until it has read the settings (the values for 4 mA and 20 mA).</source>
        <translation>A műszer méréstartománya még nem ismert: nyissa meg a portot a főablakban, és várja meg, amíg kiolvassa a beállításokat (a 4 mA-es és a 20 mA-es értéket).</translation>
    </message>
    <message>
        <source>The check cannot start: %1 (4 mA = %2, 20 mA = %3). Set the values for 4 mA and 20 mA on the user page and write them to the instrument.</source>
        <translation>Az ellenőrzés nem indulhat: %1 (4 mA = %2, 20 mA = %3). Állítsa be a 4 mA-es és a 20 mA-es értéket a felhasználói lapon, és írja be a műszerbe.</translation>
    </message>
    <message>
        <source>A record is being started; wait until it is.</source>
        <translation>Egy jegyzőkönyv indítása folyamatban; várja meg.</translation>
    </message>
    <message>
        <source>Starting a new record…</source>
        <translation>Új jegyzőkönyv indítása…</translation>
    </message>
    <message>
        <source>The record could not be started: %1</source>
        <translation>A jegyzőkönyv nem indítható: %1</translation>
    </message>
    <message>
        <source>Record %1 started. Type the instrument tag and serial number, then apply the first As-Found point.</source>
        <translation>A(z) %1 jegyzőkönyv elindult. Írja be a műszer azonosítóját és gyári számát, majd állítsa be az első átvételi pontot.</translation>
    </message>
    <message>
        <source>The record could not be read: %1</source>
        <translation>A jegyzőkönyv nem olvasható: %1</translation>
    </message>
    <message>
        <source>Record %1 (finished: read-only).</source>
        <translation>A(z) %1 jegyzőkönyv (lezárva: csak olvasható).</translation>
    </message>
    <message>
        <source>Record %1 continued.</source>
        <translation>A(z) %1 jegyzőkönyv folytatva.</translation>
    </message>
    <message>
        <source>The tolerance must be a number above 0 and at most 100 (% of span), with up to %1 decimals; it stays %2.</source>
        <translation>A tűrés 0-nál nagyobb, legfeljebb 100 (a méréstartomány %-a) szám lehet, legfeljebb %1 tizedessel; marad %2.</translation>
    </message>
    <message>
        <source>The test points must be percentages of span between -10 and 110, separated by commas or blanks; they stay %1.</source>
        <translation>A vizsgálati pontok a méréstartomány -10 és 110 közötti százalékai lehetnek, vesszővel vagy szóközzel elválasztva; maradnak: %1.</translation>
    </message>
    <message>
        <source> This record keeps %1.</source>
        <translation> Ez a jegyzőkönyv megtartja ezt: %1.</translation>
    </message>
    <message>
        <source>no number</source>
        <translation>szám nélkül</translation>
    </message>
    <message>
        <source>Start a record first (&quot;New record&quot;).</source>
        <translation>Előbb indítson jegyzőkönyvet („Új jegyzőkönyv”).</translation>
    </message>
    <message>
        <source>The record is finished; start a new one to check again.</source>
        <translation>A jegyzőkönyv lezárva; új ellenőrzéshez indítson újat.</translation>
    </message>
    <message>
        <source>There is no test point %1.</source>
        <translation>Nincs %1. vizsgálati pont.</translation>
    </message>
    <message>
        <source>The applied value &quot;%1&quot; is not a number with at most %2 decimals.</source>
        <translation>A beállított érték („%1”) nem legfeljebb %2 tizedes számjegyű szám.</translation>
    </message>
    <message>
        <source>The ammeter reading &quot;%1&quot; is not a current in mA with at most %2 decimals.</source>
        <translation>Az árammérő értéke („%1”) nem legfeljebb %2 tizedes számjegyű áram mA-ben.</translation>
    </message>
    <message>
        <source>Point %1 (%2) was NOT saved: %3. Enter it again once the cause is fixed.</source>
        <translation>A(z) %1. pont (%2) NEM lett mentve: %3. Az ok elhárítása után vigye be újra.</translation>
    </message>
    <message>
        <source>%1 point %2 saved.</source>
        <translation>%1 %2. pont mentve.</translation>
    </message>
    <message>
        <source>Points typed here are not stored on the records server yet: the record can be finished once they are (or save it here with &quot;Save here…&quot;).</source>
        <translation>Az itt beírt pontok még nincsenek a jegyzőkönyv-kiszolgálón: a jegyzőkönyv akkor zárható le, ha felkerültek (vagy mentse ide a „Mentés ide…” gombbal).</translation>
    </message>
    <message>
        <source>The record is finished already.</source>
        <translation>A jegyzőkönyv már le van zárva.</translation>
    </message>
    <message>
        <source>The record was NOT finished: %1 Press &quot;Finish record&quot; again once the cause is fixed.</source>
        <translation>A jegyzőkönyv NEM lett lezárva: %1 Az ok elhárítása után nyomja meg újra a „Lezárás” gombot.</translation>
    </message>
    <message>
        <source>Record %1 finished. Export the certificate with &quot;Certificate PDF…&quot;.</source>
        <translation>A(z) %1 jegyzőkönyv lezárva. A bizonyítványt a „Bizonyítvány PDF…” gombbal exportálhatja.</translation>
    </message>
    <message>
        <source>Open a finished record first (double-click it in the history).</source>
        <translation>Előbb nyisson meg egy lezárt jegyzőkönyvet (dupla kattintással az előzményekben).</translation>
    </message>
    <message>
        <source>Record %1 is not finished: finish it before it is approved.</source>
        <translation>A(z) %1 jegyzőkönyv nincs lezárva: a jóváhagyás előtt zárja le.</translation>
    </message>
    <message>
        <source>Record %1 was approved by %2 already.</source>
        <translation>A(z) %1 jegyzőkönyvet már jóváhagyta: %2.</translation>
    </message>
    <message>
        <source>Type the approver&apos;s name.</source>
        <translation>Írja be a jóváhagyó nevét.</translation>
    </message>
    <message>
        <source>%1 made record %2: approval is a second person&apos;s. Ask someone else to approve it.</source>
        <translation>A(z) %2 jegyzőkönyvet %1 készítette: a jóváhagyás egy második személy feladata. Kérjen meg valaki mást.</translation>
    </message>
    <message>
        <source>Record %1 was NOT approved: %2.</source>
        <translation>A(z) %1 jegyzőkönyv NEM lett jóváhagyva: %2.</translation>
    </message>
    <message>
        <source>Record %1 approved by %2.</source>
        <translation>A(z) %1 jegyzőkönyvet jóváhagyta: %2.</translation>
    </message>
    <message>
        <source>The certificate of %1 went out, but it is NOT noted in the record&apos;s audit trail: %2.</source>
        <translation>A(z) %1 bizonyítványa elkészült, de NEM került be a jegyzőkönyv naplójába: %2.</translation>
    </message>
    <message>
        <source> It is NOT noted in the record&apos;s audit trail: %1.</source>
        <translation> NEM került be a jegyzőkönyv naplójába: %1.</translation>
    </message>
    <message>
        <source>Record written to %1.</source>
        <translation>A jegyzőkönyv elmentve ide: %1.</translation>
    </message>
    <message>
        <source>The CSV was not written: %1.</source>
        <translation>A CSV nem lett elmentve: %1.</translation>
    </message>
    <message>
        <source>As-Found</source>
        <translation>Átvételi</translation>
    </message>
    <message>
        <source>As-Left</source>
        <translation>Kiadási</translation>
    </message>
</context>
</TS>
