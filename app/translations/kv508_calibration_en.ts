<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>Calibration</name>
    <message>
        <source>not done</source>
        <translation>not done</translation>
    </message>
    <message>
        <source>incomplete</source>
        <translation>incomplete</translation>
    </message>
    <message>
        <source>PASS</source>
        <translation>PASS</translation>
    </message>
    <message>
        <source>FAIL</source>
        <translation>FAIL</translation>
    </message>
    <message>
        <source>pending</source>
        <translation>pending</translation>
    </message>
    <message>
        <source>As-Found</source>
        <translation>As-Found</translation>
    </message>
    <message>
        <source>As-Left</source>
        <translation>As-Left</translation>
    </message>
</context>
<context>
    <name>Certificate</name>
    <message>
        <source>not stated</source>
        <translation>not stated</translation>
    </message>
    <message>
        <source>not measured</source>
        <translation>not measured</translation>
    </message>
    <message>
        <source>Point
% of span</source>
        <translation>Point
% of span</translation>
    </message>
    <message>
        <source>Applied
%1</source>
        <translation>Applied
%1</translation>
    </message>
    <message>
        <source>Expected
mA</source>
        <translation>Expected
mA</translation>
    </message>
    <message>
        <source>Measured
mA (ref.)</source>
        <translation>Measured
mA (ref.)</translation>
    </message>
    <message>
        <source>Instrument
shows %1</source>
        <translation>Instrument
shows %1</translation>
    </message>
    <message>
        <source>Instrument
reports mA</source>
        <translation>Instrument
reports mA</translation>
    </message>
    <message>
        <source>Error
% of span</source>
        <translation>Error
% of span</translation>
    </message>
    <message>
        <source>U (k = 2)
% of span</source>
        <translation>U (k = 2)
% of span</translation>
    </message>
    <message>
        <source>Result</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>Result: PASS — within ± %1 % of span as left</source>
        <translation>Result: PASS — within ± %1 % of span as left</translation>
    </message>
    <message>
        <source>Result: PASS — within ± %1 % of span as found</source>
        <translation>Result: PASS — within ± %1 % of span as found</translation>
    </message>
    <message>
        <source>Result: FAIL — outside ± %1 % of span as left</source>
        <translation>Result: FAIL — outside ± %1 % of span as left</translation>
    </message>
    <message>
        <source>Result: FAIL — outside ± %1 % of span as found</source>
        <translation>Result: FAIL — outside ± %1 % of span as found</translation>
    </message>
    <message>
        <source>Result: PENDING — adjusted; the As-Left check is not complete</source>
        <translation>Result: PENDING — adjusted; the As-Left check is not complete</translation>
    </message>
    <message>
        <source>Result: INCOMPLETE — not every test point was measured</source>
        <translation>Result: INCOMPLETE — not every test point was measured</translation>
    </message>
    <message>
        <source>As-Found %1 · As-Left %2</source>
        <translation>As-Found %1 · As-Left %2</translation>
    </message>
    <message>
        <source>Certificate no.</source>
        <translation>Certificate no.</translation>
    </message>
    <message>
        <source>Calibration Certificate</source>
        <translation>Calibration Certificate</translation>
    </message>
    <message>
        <source>KV508 I pressure transmitter, 4–20 mA output: As-Found / As-Left check against reference instruments</source>
        <translation>KV508 I pressure transmitter, 4–20 mA output: As-Found / As-Left check against reference instruments</translation>
    </message>
    <message>
        <source>DRAFT — the record is not finished; this is not a valid certificate</source>
        <translation>DRAFT — the record is not finished; this is not a valid certificate</translation>
    </message>
    <message>
        <source>Instrument and check</source>
        <translation>Instrument and check</translation>
    </message>
    <message>
        <source>Instrument tag</source>
        <translation>Instrument tag</translation>
    </message>
    <message>
        <source>Serial number</source>
        <translation>Serial number</translation>
    </message>
    <message>
        <source>Model</source>
        <translation>Model</translation>
    </message>
    <message>
        <source>Firmware</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>Sensor</source>
        <translation>Sensor</translation>
    </message>
    <message>
        <source>Range (As-Found)</source>
        <translation>Range (As-Found)</translation>
    </message>
    <message>
        <source>Calibration date as found</source>
        <translation>Calibration date as found</translation>
    </message>
    <message>
        <source>Range (As-Left)</source>
        <translation>Range (As-Left)</translation>
    </message>
    <message>
        <source>Date of check</source>
        <translation>Date of check</translation>
    </message>
    <message>
        <source>Technician</source>
        <translation>Technician</translation>
    </message>
    <message>
        <source>Ambient temperature</source>
        <translation>Ambient temperature</translation>
    </message>
    <message>
        <source>Relative humidity</source>
        <translation>Relative humidity</translation>
    </message>
    <message>
        <source>Tolerance</source>
        <translation>Tolerance</translation>
    </message>
    <message>
        <source>± %1 % of span</source>
        <translation>± %1 % of span</translation>
    </message>
    <message>
        <source>Next calibration due</source>
        <translation>Next calibration due</translation>
    </message>
    <message>
        <source>Remarks</source>
        <translation>Remarks</translation>
    </message>
    <message>
        <source>Reference instruments</source>
        <translation>Reference instruments</translation>
    </message>
    <message>
        <source>Use</source>
        <translation>Use</translation>
    </message>
    <message>
        <source>Instrument</source>
        <translation>Instrument</translation>
    </message>
    <message>
        <source>Serial no.</source>
        <translation>Serial no.</translation>
    </message>
    <message>
        <source>Due</source>
        <translation>Due</translation>
    </message>
    <message>
        <source>Decision rule: simple acceptance. A point passes when the magnitude of its error is within the tolerance of ± %1 % of span; the expanded uncertainty U is stated beside each result and is not deducted from the tolerance (no guard band).</source>
        <translation>Decision rule: simple acceptance. A point passes when the magnitude of its error is within the tolerance of ± %1 % of span; the expanded uncertainty U is stated beside each result and is not deducted from the tolerance (no guard band).</translation>
    </message>
    <message>
        <source>As-Found results</source>
        <translation>As-Found results</translation>
    </message>
    <message>
        <source>As-Found</source>
        <translation>As-Found</translation>
    </message>
    <message>
        <source>Adjustment</source>
        <translation>Adjustment</translation>
    </message>
    <message>
        <source>The instrument was adjusted: input and output calibrated with the instrument&apos;s eleven-step procedure. Calibration date reported by the instrument afterwards: %1.</source>
        <translation>The instrument was adjusted: input and output calibrated with the instrument&apos;s eleven-step procedure. Calibration date reported by the instrument afterwards: %1.</translation>
    </message>
    <message>
        <source>not read</source>
        <translation>not read</translation>
    </message>
    <message>
        <source>No adjustment was made.</source>
        <translation>No adjustment was made.</translation>
    </message>
    <message>
        <source>As-Left results</source>
        <translation>As-Left results</translation>
    </message>
    <message>
        <source>As-Left</source>
        <translation>As-Left</translation>
    </message>
    <message>
        <source>Expected current = 4 mA + 16 mA × (applied − lower) / (upper − lower). Error = (measured − expected) / 16 mA × 100 % of span. U (k = 2, about 95 % coverage): root sum of squares of the pressure standard&apos;s and the ammeter&apos;s stated uncertainties, the resolution of the typed readings (rectangular) and the instrument&apos;s repeatability (the spread of its polls); &quot;—&quot;: a reference&apos;s U not stated, or too few polls. &quot;Instrument shows/reports&quot; are the instrument&apos;s own readings averaged over its last polls. The results relate only to the item calibrated at the time of the check.</source>
        <translation>Expected current = 4 mA + 16 mA × (applied − lower) / (upper − lower). Error = (measured − expected) / 16 mA × 100 % of span. U (k = 2, about 95 % coverage): root sum of squares of the pressure standard&apos;s and the ammeter&apos;s stated uncertainties, the resolution of the typed readings (rectangular) and the instrument&apos;s repeatability (the spread of its polls); &quot;—&quot;: a reference&apos;s U not stated, or too few polls. &quot;Instrument shows/reports&quot; are the instrument&apos;s own readings averaged over its last polls. The results relate only to the item calibrated at the time of the check.</translation>
    </message>
    <message>
        <source>Signature and date</source>
        <translation>Signature and date</translation>
    </message>
    <message>
        <source>Calibrated by:</source>
        <translation>Calibrated by:</translation>
    </message>
    <message>
        <source>Approved by:</source>
        <translation>Approved by:</translation>
    </message>
    <message>
        <source>Approved by %1 on %2</source>
        <translation>Approved by %1 on %2</translation>
    </message>
    <message>
        <source>Calibration certificate %1 (continued)</source>
        <translation>Calibration certificate %1 (continued)</translation>
    </message>
    <message>
        <source>page %1 of %2</source>
        <translation>page %1 of %2</translation>
    </message>
    <message>
        <source>DRAFT</source>
        <translation>DRAFT</translation>
    </message>
    <message>
        <source>Certificate %1</source>
        <translation>Certificate %1</translation>
    </message>
    <message>
        <source>Calibration certificate %1</source>
        <translation>Calibration certificate %1</translation>
    </message>
    <message>
        <source>not done</source>
        <translation>not done</translation>
    </message>
    <message>
        <source>incomplete</source>
        <translation>incomplete</translation>
    </message>
    <message>
        <source>PASS</source>
        <translation>PASS</translation>
    </message>
    <message>
        <source>FAIL</source>
        <translation>FAIL</translation>
    </message>
    <message>
        <source>pending</source>
        <translation>pending</translation>
    </message>
    <message>
        <source>Pressure standard</source>
        <translation>Pressure standard</translation>
    </message>
    <message>
        <source>Ammeter (loop current)</source>
        <translation>Ammeter (loop current)</translation>
    </message>
    <message>
        <source>Thermohygrometer</source>
        <translation>Thermohygrometer</translation>
    </message>
</context>
<context>
    <name>TAutomaticRun</name>
    <message>
        <source>the instrument&apos;s port closed; open it again</source>
        <translation>the instrument&apos;s port closed; open it again</translation>
    </message>
    <message>
        <source>The automatic run stopped at %1: the window was closed.</source>
        <translation>The automatic run stopped at %1: the window was closed.</translation>
    </message>
    <message>
        <source>The automatic run stopped: the window was closed.</source>
        <translation>The automatic run stopped: the window was closed.</translation>
    </message>
    <message>
        <source>The automatic run is under way already.</source>
        <translation>The automatic run is under way already.</translation>
    </message>
    <message>
        <source>No open record: start one with &quot;New record&quot; first.</source>
        <translation>No open record: start one with &quot;New record&quot; first.</translation>
    </message>
    <message>
        <source>The automatic run needs the meter and the pressure controller: type both addresses and press Connect.</source>
        <translation>The automatic run needs the meter and the pressure controller: type both addresses and press Connect.</translation>
    </message>
    <message>
        <source>The instrument does not answer: open its port in the main window first.</source>
        <translation>The instrument does not answer: open its port in the main window first.</translation>
    </message>
    <message>
        <source>The instrument&apos;s span is not usable yet: read its settings (open the port) first.</source>
        <translation>The instrument&apos;s span is not usable yet: read its settings (open the port) first.</translation>
    </message>
    <message>
        <source>Type the sensor&apos;s full-scale pressure in Pa (from its data sheet): the scale end is set there.</source>
        <translation>Type the sensor&apos;s full-scale pressure in Pa (from its data sheet): the scale end is set there.</translation>
    </message>
    <message>
        <source>the settings were not read back within 30 s; check the line</source>
        <translation>the settings were not read back within 30 s; check the line</translation>
    </message>
    <message>
        <source>the controller did not take its control off</source>
        <translation>the controller did not take its control off</translation>
    </message>
    <message>
        <source>%1 point %2 of %3</source>
        <translation>%1 point %2 of %3</translation>
    </message>
    <message>
        <source>: applying the pressure</source>
        <translation>: applying the pressure</translation>
    </message>
    <message>
        <source>the instrument&apos;s span is no longer known; check the line</source>
        <translation>the instrument&apos;s span is no longer known; check the line</translation>
    </message>
    <message>
        <source>: reading the references</source>
        <translation>: reading the references</translation>
    </message>
    <message>
        <source>the meter&apos;s readings did not come within 20 s</source>
        <translation>the meter&apos;s readings did not come within 20 s</translation>
    </message>
    <message>
        <source>the pressure controller did not come within its limits of %1 in %2 s; check its supply and the connections, then run again</source>
        <translation>the pressure controller did not come within its limits of %1 in %2 s; check its supply and the connections, then run again</translation>
    </message>
    <message>
        <source>the instrument did not acknowledge “%1” within %2 s; check the line</source>
        <translation>the instrument did not acknowledge “%1” within %2 s; check the line</translation>
    </message>
    <message>
        <source>trimming the output to %1 mA</source>
        <translation>trimming the output to %1 mA</translation>
    </message>
    <message>
        <source>the instrument stopped answering polls; check the line</source>
        <translation>the instrument stopped answering polls; check the line</translation>
    </message>
    <message>
        <source>another record was opened, or this one finished; run again on the record meant</source>
        <translation>another record was opened, or this one finished; run again on the record meant</translation>
    </message>
    <message>
        <source>Paused after %1.</source>
        <translation>Paused after %1.</translation>
    </message>
    <message>
        <source>Automatic run done: As-Found, the eleven steps and As-Left are in the record (acknowledged: %1). Check it, then &quot;Finish record&quot;.</source>
        <translation>Automatic run done: As-Found, the eleven steps and As-Left are in the record (acknowledged: %1). Check it, then &quot;Finish record&quot;.</translation>
    </message>
    <message>
        <source>Automatic: %1…</source>
        <translation>Automatic: %1…</translation>
    </message>
    <message>
        <source>the instrument did not take the request (%1 tries failed); check the line</source>
        <translation>the instrument did not take the request (%1 tries failed); check the line</translation>
    </message>
    <message>
        <source>the instrument did not settle within %1 s of the controller; check for leaks</source>
        <translation>the instrument did not settle within %1 s of the controller; check for leaks</translation>
    </message>
    <message>
        <source>Automatic: %1</source>
        <translation>Automatic: %1</translation>
    </message>
    <message>
        <source>point %1 was read but not entered: %2</source>
        <translation>point %1 was read but not entered: %2</translation>
    </message>
    <message>
        <source>Automatic: pausing after %1…</source>
        <translation>Automatic: pausing after %1…</translation>
    </message>
    <message>
        <source>The automatic run was cancelled at %1.</source>
        <translation>The automatic run was cancelled at %1.</translation>
    </message>
    <message>
        <source>The automatic run stopped at %1: %2.</source>
        <translation>The automatic run stopped at %1: %2.</translation>
    </message>
    <message>
        <source> The instrument acknowledged no calibration point.</source>
        <translation> The instrument acknowledged no calibration point.</translation>
    </message>
    <message>
        <source> The instrument acknowledged: %1.</source>
        <translation> The instrument acknowledged: %1.</translation>
    </message>
    <message>
        <source> The output is released, the controller&apos;s control off and the record open: run again, or go on by hand.</source>
        <translation> The output is released, the controller&apos;s control off and the record open: run again, or go on by hand.</translation>
    </message>
    <message>
        <source>the trim failed: %1</source>
        <translation>the trim failed: %1</translation>
    </message>
</context>
<context>
    <name>TCalibrationWindow</name>
    <message>
        <source>Connecting the reference instruments…</source>
        <translation>Connecting the reference instruments…</translation>
    </message>
    <message>
        <source>Connected to %1; the finished record keeps its references.</source>
        <translation>Connected to %1; the finished record keeps its references.</translation>
    </message>
    <message>
        <source>Connected to %1.</source>
        <translation>Connected to %1.</translation>
    </message>
    <message>
        <source>No open record to read into: start one with &quot;New record&quot; or continue one from the history.</source>
        <translation>No open record to read into: start one with &quot;New record&quot; or continue one from the history.</translation>
    </message>
    <message>
        <source>No meter connected: type its address (tcp:HOST:PORT or serial:PORT) and press Connect, or type the ammeter&apos;s reading by hand.</source>
        <translation>No meter connected: type its address (tcp:HOST:PORT or serial:PORT) and press Connect, or type the ammeter&apos;s reading by hand.</translation>
    </message>
    <message>
        <source>No point selected: click the row of the point to read.</source>
        <translation>No point selected: click the row of the point to read.</translation>
    </message>
    <message>
        <source>A reading is still under way: wait for it, then read again.</source>
        <translation>A reading is still under way: wait for it, then read again.</translation>
    </message>
    <message>
        <source>Type the applied value of point %1 first (no pressure controller connected to read it from).</source>
        <translation>Type the applied value of point %1 first (no pressure controller connected to read it from).</translation>
    </message>
    <message>
        <source>Reading the references for point %1…</source>
        <translation>Reading the references for point %1…</translation>
    </message>
    <message>
        <source>Point %1 not read: %2</source>
        <translation>Point %1 not read: %2</translation>
    </message>
    <message>
        <source>The reading came after the record had changed, so it was not entered: read the point again.</source>
        <translation>The reading came after the record had changed, so it was not entered: read the point again.</translation>
    </message>
    <message>
        <source>Point %1 read: %2 mA%3.</source>
        <translation>Point %1 read: %2 mA%3.</translation>
    </message>
    <message>
        <source> at %1 Pa</source>
        <translation> at %1 Pa</translation>
    </message>
    <message>
        <source>%1 — Calibration record</source>
        <translation>%1 — Calibration record</translation>
    </message>
    <message>
        <source>New record</source>
        <translation>New record</translation>
    </message>
    <message>
        <source>Start a record for the instrument on the line: its firmware, calibration date, sensor and span are read from it</source>
        <translation>Start a record for the instrument on the line: its firmware, calibration date, sensor and span are read from it</translation>
    </message>
    <message>
        <source>Finish record</source>
        <translation>Finish record</translation>
    </message>
    <message>
        <source>Close the record: it can be exported but no longer changed</source>
        <translation>Close the record: it can be exported but no longer changed</translation>
    </message>
    <message>
        <source>Approve…</source>
        <translation>Approve…</translation>
    </message>
    <message>
        <source>A second person approves the finished record: their name and the time go on the certificate</source>
        <translation>A second person approves the finished record: their name and the time go on the certificate</translation>
    </message>
    <message>
        <source>Certificate PDF…</source>
        <translation>Certificate PDF…</translation>
    </message>
    <message>
        <source>Print preview…</source>
        <translation>Print preview…</translation>
    </message>
    <message>
        <source>Print…</source>
        <translation>Print…</translation>
    </message>
    <message>
        <source>CSV…</source>
        <translation>CSV…</translation>
    </message>
    <message>
        <source>Save here…</source>
        <translation>Save here…</translation>
    </message>
    <message>
        <source>The records server does not answer: keep this record, with every point typed, in this computer&apos;s file</source>
        <translation>The records server does not answer: keep this record, with every point typed, in this computer&apos;s file</translation>
    </message>
    <message>
        <source>Check</source>
        <translation>Check</translation>
    </message>
    <message>
        <source>Permitted error in % of span, either side (fixed once the first point is entered)</source>
        <translation>Permitted error in % of span, either side (fixed once the first point is entered)</translation>
    </message>
    <message>
        <source>Test points in % of span, separated by commas or blanks (fixed once the first point is entered)</source>
        <translation>Test points in % of span, separated by commas or blanks (fixed once the first point is entered)</translation>
    </message>
    <message>
        <source>down again (hysteresis)</source>
        <translation>down again (hysteresis)</translation>
    </message>
    <message>
        <source>Tolerance ±</source>
        <translation>Tolerance ±</translation>
    </message>
    <message>
        <source>% of span   Points (%)</source>
        <translation>% of span   Points (%)</translation>
    </message>
    <message>
        <source>Calibration page</source>
        <translation>Calibration page</translation>
    </message>
    <message>
        <source>Bring the main window&apos;s calibration page forward for the eleven steps</source>
        <translation>Bring the main window&apos;s calibration page forward for the eleven steps</translation>
    </message>
    <message>
        <source>&lt;b&gt;As-Found&lt;/b&gt; — before any adjustment</source>
        <translation>&lt;b&gt;As-Found&lt;/b&gt; — before any adjustment</translation>
    </message>
    <message>
        <source>&lt;b&gt;As-Left&lt;/b&gt; — after the calibration</source>
        <translation>&lt;b&gt;As-Left&lt;/b&gt; — after the calibration</translation>
    </message>
    <message>
        <source>Save here</source>
        <translation>Save here</translation>
    </message>
    <message>
        <source>Keep this record, with every point typed, in %1 as well?

The points are still stored on the records server once it answers.</source>
        <translation>Keep this record, with every point typed, in %1 as well?

The points are still stored on the records server once it answers.</translation>
    </message>
    <message>
        <source>not stored yet</source>
        <translation>not stored yet</translation>
    </message>
    <message>
        <source>not saved</source>
        <translation>not saved</translation>
    </message>
    <message>
        <source>Record %1 is not finished. It stays in the history and can be continued from there. Start a new record?</source>
        <translation>Record %1 is not finished. It stays in the history and can be continued from there. Start a new record?</translation>
    </message>
    <message>
        <source>not entered</source>
        <translation>not entered</translation>
    </message>
    <message>
        <source>Not every test point has been measured. Finish the record anyway? It cannot be changed afterwards.</source>
        <translation>Not every test point has been measured. Finish the record anyway? It cannot be changed afterwards.</translation>
    </message>
    <message>
        <source>Finish record %1? It cannot be changed afterwards.</source>
        <translation>Finish record %1? It cannot be changed afterwards.</translation>
    </message>
    <message>
        <source>Certificate as PDF</source>
        <translation>Certificate as PDF</translation>
    </message>
    <message>
        <source>Record as CSV</source>
        <translation>Record as CSV</translation>
    </message>
    <message>
        <source>Approve record %1</source>
        <translation>Approve record %1</translation>
    </message>
    <message>
        <source>Record %1 was made by %2.
Approval is a second person&apos;s: type your name.</source>
        <translation>Record %1 was made by %2.
Approval is a second person&apos;s: type your name.</translation>
    </message>
    <message>
        <source>an unnamed technician</source>
        <translation>an unnamed technician</translation>
    </message>
    <message>
        <source>Certificate sent to %1.</source>
        <translation>Certificate sent to %1.</translation>
    </message>
    <message>
        <source>The certificate was not printed: %1.</source>
        <translation>The certificate was not printed: %1.</translation>
    </message>
    <message>
        <source>Calibration certificate %1</source>
        <translation>Calibration certificate %1</translation>
    </message>
    <message>
        <source>Print certificate %1</source>
        <translation>Print certificate %1</translation>
    </message>
    <message>
        <source>Certificate %1</source>
        <translation>Certificate %1</translation>
    </message>
    <message>
        <source>The certificate could not be shown or printed: %1.</source>
        <translation>The certificate could not be shown or printed: %1.</translation>
    </message>
    <message>
        <source>Certificate written to %1.</source>
        <translation>Certificate written to %1.</translation>
    </message>
    <message>
        <source>The certificate was not written: %1.</source>
        <translation>The certificate was not written: %1.</translation>
    </message>
    <message>
        <source>Instrument: no answered polls — open the port in the main window.</source>
        <translation>Instrument: no answered polls — open the port in the main window.</translation>
    </message>
    <message>
        <source>&lt;span style=&apos;color:%1&apos;&gt;&lt;b&gt;● stable&lt;/b&gt;&lt;/span&gt;</source>
        <translation>&lt;span style=&apos;color:%1&apos;&gt;&lt;b&gt;● stable&lt;/b&gt;&lt;/span&gt;</translation>
    </message>
    <message>
        <source>&lt;span style=&apos;color:#b26a00&apos;&gt;&lt;b&gt;○ settling&lt;/b&gt;&lt;/span&gt;</source>
        <translation>&lt;span style=&apos;color:#b26a00&apos;&gt;&lt;b&gt;○ settling&lt;/b&gt;&lt;/span&gt;</translation>
    </message>
    <message>
        <source>Instrument now: &lt;b&gt;%1 %2&lt;/b&gt; · &lt;b&gt;%3 mA&lt;/b&gt; (mean of the last %4 polls) %5%6</source>
        <translation>Instrument now: &lt;b&gt;%1 %2&lt;/b&gt; · &lt;b&gt;%3 mA&lt;/b&gt; (mean of the last %4 polls) %5%6</translation>
    </message>
    <message>
        <source> — span %1 … %2 %3</source>
        <translation> — span %1 … %2 %3</translation>
    </message>
    <message>
        <source>&lt;b&gt;Calibrated&lt;/b&gt; with the eleven steps; the instrument now reports calibration date &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>&lt;b&gt;Calibrated&lt;/b&gt; with the eleven steps; the instrument now reports calibration date &lt;b&gt;%1&lt;/b&gt;</translation>
    </message>
    <message>
        <source>(not read yet)</source>
        <translation>(not read yet)</translation>
    </message>
    <message>
        <source>No calibration yet. After As-Found, do the eleven steps on the calibration page (Ctrl+Tab in the main window); the record notes them and the new calibration date.</source>
        <translation>No calibration yet. After As-Found, do the eleven steps on the calibration page (Ctrl+Tab in the main window); the record notes them and the new calibration date.</translation>
    </message>
    <message>
        <source> · approved by &lt;b&gt;%1&lt;/b&gt; on %2</source>
        <translation> · approved by &lt;b&gt;%1&lt;/b&gt; on %2</translation>
    </message>
    <message>
        <source> · finished, not approved yet (&quot;Approve…&quot;: a second person)</source>
        <translation> · finished, not approved yet (&quot;Approve…&quot;: a second person)</translation>
    </message>
    <message>
        <source>Overall: &lt;b&gt;&lt;span style=&apos;color:%1; font-size:large&apos;&gt;%2&lt;/span&gt;&lt;/b&gt;%3</source>
        <translation>Overall: &lt;b&gt;&lt;span style=&apos;color:%1; font-size:large&apos;&gt;%2&lt;/span&gt;&lt;/b&gt;%3</translation>
    </message>
    <message>
        <source>Span of the instrument: %1 … %2 %3 = 4 … 20 mA</source>
        <translation>Span of the instrument: %1 … %2 %3 = 4 … 20 mA</translation>
    </message>
    <message>
        <source>&lt;span style=&apos;color:%1&apos;&gt;Span unusable: %2&lt;/span&gt;</source>
        <translation>&lt;span style=&apos;color:%1&apos;&gt;Span unusable: %2&lt;/span&gt;</translation>
    </message>
    <message>
        <source>Span: not read yet (open the port)</source>
        <translation>Span: not read yet (open the port)</translation>
    </message>
    <message>
        <source>No record open: &quot;New record&quot; starts one, or double-click one in the history.</source>
        <translation>No record open: &quot;New record&quot; starts one, or double-click one in the history.</translation>
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
        <translation>Pressure standard</translation>
    </message>
    <message>
        <source>Ammeter (loop current)</source>
        <translation>Ammeter (loop current)</translation>
    </message>
    <message>
        <source>Thermohygrometer</source>
        <translation>Thermohygrometer</translation>
    </message>
    <message>
        <source>Certificate</source>
        <translation>Certificate</translation>
    </message>
    <message>
        <source>Generated for each new record; may be changed</source>
        <translation>Generated for each new record; may be changed</translation>
    </message>
    <message>
        <source>The instrument&apos;s tag at the plant (its history is kept under it)</source>
        <translation>The instrument&apos;s tag at the plant (its history is kept under it)</translation>
    </message>
    <message>
        <source>Serial number from the instrument&apos;s nameplate</source>
        <translation>Serial number from the instrument&apos;s nameplate</translation>
    </message>
    <message>
        <source>Who did the check (printed under the signature line)</source>
        <translation>Who did the check (printed under the signature line)</translation>
    </message>
    <message>
        <source>Ambient temperature in °C</source>
        <translation>Ambient temperature in °C</translation>
    </message>
    <message>
        <source>Relative humidity in %</source>
        <translation>Relative humidity in %</translation>
    </message>
    <message>
        <source>When the instrument is next due for calibration</source>
        <translation>When the instrument is next due for calibration</translation>
    </message>
    <message>
        <source>Your company or laboratory, printed at the top of the certificate (remembered)</source>
        <translation>Your company or laboratory, printed at the top of the certificate (remembered)</translation>
    </message>
    <message>
        <source>Certificate no.</source>
        <translation>Certificate no.</translation>
    </message>
    <message>
        <source>Instrument tag</source>
        <translation>Instrument tag</translation>
    </message>
    <message>
        <source>Serial no.</source>
        <translation>Serial no.</translation>
    </message>
    <message>
        <source>Firmware</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>Calibrated (as found)</source>
        <translation>Calibrated (as found)</translation>
    </message>
    <message>
        <source>Sensor</source>
        <translation>Sensor</translation>
    </message>
    <message>
        <source>Technician</source>
        <translation>Technician</translation>
    </message>
    <message>
        <source>% RH</source>
        <translation>% RH</translation>
    </message>
    <message>
        <source>Ambient</source>
        <translation>Ambient</translation>
    </message>
    <message>
        <source>Next due</source>
        <translation>Next due</translation>
    </message>
    <message>
        <source>Issued by</source>
        <translation>Issued by</translation>
    </message>
    <message>
        <source>Remarks</source>
        <translation>Remarks</translation>
    </message>
    <message>
        <source>Certificate language</source>
        <translation>Certificate language</translation>
    </message>
    <message>
        <source>Hungarian</source>
        <translation>Hungarian</translation>
    </message>
    <message>
        <source>English</source>
        <translation>English</translation>
    </message>
    <message>
        <source>Hungarian and English</source>
        <translation>Hungarian and English</translation>
    </message>
    <message>
        <source>The language the certificate of this record is printed in (kept with the record)</source>
        <translation>The language the certificate of this record is printed in (kept with the record)</translation>
    </message>
    <message>
        <source>Reference instrument</source>
        <translation>Reference instrument</translation>
    </message>
    <message>
        <source>Name / model</source>
        <translation>Name / model</translation>
    </message>
    <message>
        <source>Due (yyyy-mm-dd)</source>
        <translation>Due (yyyy-mm-dd)</translation>
    </message>
    <message>
        <source>Uncertainty (k = 2)</source>
        <translation>Uncertainty (k = 2)</translation>
    </message>
    <message>
        <source>The expanded uncertainty (k = 2) from the reference&apos;s certificate: the pressure standard&apos;s in the instrument&apos;s unit, the ammeter&apos;s in mA (each point&apos;s U is reckoned from these two)</source>
        <translation>The expanded uncertainty (k = 2) from the reference&apos;s certificate: the pressure standard&apos;s in the instrument&apos;s unit, the ammeter&apos;s in mA (each point&apos;s U is reckoned from these two)</translation>
    </message>
    <message>
        <source>Remembered for the next record</source>
        <translation>Remembered for the next record</translation>
    </message>
    <message>
        <source>Not a number (e.g. 23.5)</source>
        <translation>Not a number (e.g. 23.5)</translation>
    </message>
    <message>
        <source>Not a date: type it as yyyy-mm-dd</source>
        <translation>Not a date: type it as yyyy-mm-dd</translation>
    </message>
    <message>
        <source>Not a U in %1: type the number from the certificate (e.g. 0.05)</source>
        <translation>Not a U in %1: type the number from the certificate (e.g. 0.05)</translation>
    </message>
</context>
<context>
    <name>THistoryPanel</name>
    <message>
        <source>Records: %1</source>
        <translation>Records: %1</translation>
    </message>
    <message>
        <source>History</source>
        <translation>History</translation>
    </message>
    <message>
        <source>Records of one instrument tag, or of all</source>
        <translation>Records of one instrument tag, or of all</translation>
    </message>
    <message>
        <source>All instruments</source>
        <translation>All instruments</translation>
    </message>
    <message>
        <source>Tag %1</source>
        <translation>Tag %1</translation>
    </message>
    <message>
        <source>Date</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>Certificate</source>
        <translation>Certificate</translation>
    </message>
    <message>
        <source>Tag</source>
        <translation>Tag</translation>
    </message>
    <message>
        <source>As-Found</source>
        <translation>As-Found</translation>
    </message>
    <message>
        <source>As-Left</source>
        <translation>As-Left</translation>
    </message>
    <message>
        <source>Next due</source>
        <translation>Next due</translation>
    </message>
    <message>
        <source>Due before</source>
        <translation>Due before</translation>
    </message>
    <message>
        <source>Only the records whose next calibration falls due before this day</source>
        <translation>Only the records whose next calibration falls due before this day</translation>
    </message>
    <message>
        <source>Double-click a record to open it (an unfinished one can be continued)</source>
        <translation>Double-click a record to open it (an unfinished one can be continued)</translation>
    </message>
    <message>
        <source>Change…</source>
        <translation>Change…</translation>
    </message>
    <message>
        <source>Keep the records in another file, or on a records server shared by the lab</source>
        <translation>Keep the records in another file, or on a records server shared by the lab</translation>
    </message>
    <message>
        <source>open</source>
        <translation>open</translation>
    </message>
    <message>
        <source>approved</source>
        <translation>approved</translation>
    </message>
    <message>
        <source>Approved by %1</source>
        <translation>Approved by %1</translation>
    </message>
</context>
<context>
    <name>TPointTable</name>
    <message>
        <source>% span</source>
        <translation>% span</translation>
    </message>
    <message>
        <source>Nominal</source>
        <translation>Nominal</translation>
    </message>
    <message>
        <source>Applied</source>
        <translation>Applied</translation>
    </message>
    <message>
        <source>Ammeter mA</source>
        <translation>Ammeter mA</translation>
    </message>
    <message>
        <source>Instrument</source>
        <translation>Instrument</translation>
    </message>
    <message>
        <source>Instr. mA</source>
        <translation>Instr. mA</translation>
    </message>
    <message>
        <source>Stable</source>
        <translation>Stable</translation>
    </message>
    <message>
        <source>Expected mA</source>
        <translation>Expected mA</translation>
    </message>
    <message>
        <source>Error % span</source>
        <translation>Error % span</translation>
    </message>
    <message>
        <source>U % span</source>
        <translation>U % span</translation>
    </message>
    <message>
        <source>Result</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>The reference pressure applied, as read on the standard</source>
        <translation>The reference pressure applied, as read on the standard</translation>
    </message>
    <message>
        <source>The loop current read on the reference ammeter</source>
        <translation>The loop current read on the reference ammeter</translation>
    </message>
    <message>
        <source>What the instrument reports, averaged over its last polls</source>
        <translation>What the instrument reports, averaged over its last polls</translation>
    </message>
    <message>
        <source>Expanded uncertainty (k = 2) of the error in % of span: the references&apos; stated U, the last digit of each reading and the instrument&apos;s repeatability. &quot;—&quot;: type the pressure standard&apos;s and the ammeter&apos;s U in the reference instruments, or the point was entered before a full set of polls.</source>
        <translation>Expanded uncertainty (k = 2) of the error in % of span: the references&apos; stated U, the last digit of each reading and the instrument&apos;s repeatability. &quot;—&quot;: type the pressure standard&apos;s and the ammeter&apos;s U in the reference instruments, or the point was entered before a full set of polls.</translation>
    </message>
    <message>
        <source>no</source>
        <translation>no</translation>
    </message>
    <message>
        <source>PASS</source>
        <translation>PASS</translation>
    </message>
    <message>
        <source>FAIL</source>
        <translation>FAIL</translation>
    </message>
    <message>
        <source>Apply %1 %2 (%3 % of span), type the applied value and the ammeter&apos;s reading</source>
        <translation>Apply %1 %2 (%3 % of span), type the applied value and the ammeter&apos;s reading</translation>
    </message>
</context>
<context>
    <name>TRecordsLocationDialog</name>
    <message>
        <source>Calibration records location</source>
        <translation>Calibration records location</translation>
    </message>
    <message>
        <source>This computer&apos;s file</source>
        <translation>This computer&apos;s file</translation>
    </message>
    <message>
        <source>Browse…</source>
        <translation>Browse…</translation>
    </message>
    <message>
        <source>Records file</source>
        <translation>Records file</translation>
    </message>
    <message>
        <source>Records (*.sqlite)</source>
        <translation>Records (*.sqlite)</translation>
    </message>
    <message>
        <source>A records server (PostgreSQL)</source>
        <translation>A records server (PostgreSQL)</translation>
    </message>
    <message>
        <source>postgresql://bench@lab-db:5432/kv508</source>
        <translation>postgresql://bench@lab-db:5432/kv508</translation>
    </message>
    <message>
        <source>The password is read from ~/.pgpass or PGPASSWORD, never kept here.</source>
        <translation>The password is read from ~/.pgpass or PGPASSWORD, never kept here.</translation>
    </message>
    <message>
        <source>Test connection</source>
        <translation>Test connection</translation>
    </message>
    <message>
        <source>Connected: %1, schema version %2, %3 records.</source>
        <translation>Connected: %1, schema version %2, %3 records.</translation>
    </message>
    <message>
        <source>Connecting to %1…</source>
        <translation>Connecting to %1…</translation>
    </message>
</context>
<context>
    <name>TReferencePanel</name>
    <message>
        <source>meter</source>
        <translation>meter</translation>
    </message>
    <message>
        <source>pressure controller</source>
        <translation>pressure controller</translation>
    </message>
    <message>
        <source>Reference instruments on a line</source>
        <translation>Reference instruments on a line</translation>
    </message>
    <message>
        <source>tcp:HOST:PORT (a bench instrument&apos;s LAN socket, port 5025) or serial:PORT[:BAUD]; empty: typed by hand</source>
        <translation>tcp:HOST:PORT (a bench instrument&apos;s LAN socket, port 5025) or serial:PORT[:BAUD]; empty: typed by hand</translation>
    </message>
    <message>
        <source>by hand</source>
        <translation>by hand</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>Connect the references named (and remember them); their *IDN? answer fills the reference instruments</source>
        <translation>Connect the references named (and remember them); their *IDN? answer fills the reference instruments</translation>
    </message>
    <message>
        <source>Read</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>Read the meter (the mean of a few readings) into the selected point; with a controller, its reading is the applied value</source>
        <translation>Read the meter (the mean of a few readings) into the selected point; with a controller, its reading is the applied value</translation>
    </message>
    <message>
        <source>Read automatically</source>
        <translation>Read automatically</translation>
    </message>
    <message>
        <source>Once an applied value is typed, read the meter as soon as the instrument is stable</source>
        <translation>Once an applied value is typed, read the meter as soon as the instrument is stable</translation>
    </message>
    <message>
        <source>Automatic</source>
        <translation>Automatic</translation>
    </message>
    <message>
        <source>As-Found, the eleven steps with the output trimmed on the meter, and As-Left, by the controller and the meter alone</source>
        <translation>As-Found, the eleven steps with the output trimmed on the meter, and As-Left, by the controller and the meter alone</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Hold the automatic run after the step under way</source>
        <translation>Hold the automatic run after the step under way</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Stop the automatic run: the output is released, the controller&apos;s control turned off, the record left open</source>
        <translation>Stop the automatic run: the output is released, the controller&apos;s control turned off, the record left open</translation>
    </message>
    <message>
        <source>The sensor&apos;s full-scale pressure in Pa, from its data sheet: the scale end is set there</source>
        <translation>The sensor&apos;s full-scale pressure in Pa, from its data sheet: the scale end is set there</translation>
    </message>
    <message>
        <source>Meter</source>
        <translation>Meter</translation>
    </message>
    <message>
        <source>Pressure controller</source>
        <translation>Pressure controller</translation>
    </message>
    <message>
        <source>Sensor full scale</source>
        <translation>Sensor full scale</translation>
    </message>
    <message>
        <source>The %1&apos;s address is not usable: %2.</source>
        <translation>The %1&apos;s address is not usable: %2.</translation>
    </message>
    <message>
        <source>The instrument measures %1, not pressure: a pressure controller cannot apply it. Empty the controller&apos;s field and apply the values by hand.</source>
        <translation>The instrument measures %1, not pressure: a pressure controller cannot apply it. Empty the controller&apos;s field and apply the values by hand.</translation>
    </message>
    <message>
        <source>The %1 is not connected: %2</source>
        <translation>The %1 is not connected: %2</translation>
    </message>
    <message>
        <source>connecting…</source>
        <translation>connecting…</translation>
    </message>
    <message>
        <source>none connected (typed by hand)</source>
        <translation>none connected (typed by hand)</translation>
    </message>
    <message>
        <source>The meter reading the loop current: %1</source>
        <translation>The meter reading the loop current: %1</translation>
    </message>
    <message>
        <source>The pressure controller applying the pressure: %1</source>
        <translation>The pressure controller applying the pressure: %1</translation>
    </message>
    <message>
        <source>meter %1</source>
        <translation>meter %1</translation>
    </message>
    <message>
        <source>controller %1</source>
        <translation>controller %1</translation>
    </message>
    <message>
        <source>Connected: %1</source>
        <translation>Connected: %1</translation>
    </message>
</context>
<context>
    <name>calib::TCalibrationSession</name>
    <message>
        <source>%1 Point %2 (%3) is kept here but NOT stored yet: it is stored as soon as the server answers (tried every %4 s). Keep this window open until then, or press &quot;Save here…&quot; to keep the record in this computer&apos;s file.</source>
        <translation>%1 Point %2 (%3) is kept here but NOT stored yet: it is stored as soon as the server answers (tried every %4 s). Keep this window open until then, or press &quot;Save here…&quot; to keep the record in this computer&apos;s file.</translation>
    </message>
    <message>
        <source>%1 The record&apos;s header is kept here but NOT stored yet: it is stored as soon as the server answers.</source>
        <translation>%1 The record&apos;s header is kept here but NOT stored yet: it is stored as soon as the server answers.</translation>
    </message>
    <message>
        <source>Point %1 (%2) was NOT saved: %3 Enter it again once the cause is fixed.</source>
        <translation>Point %1 (%2) was NOT saved: %3 Enter it again once the cause is fixed.</translation>
    </message>
    <message>
        <source>The record header was not saved: %1</source>
        <translation>The record header was not saved: %1</translation>
    </message>
    <message>
        <source>The records server answers again: everything typed is stored.</source>
        <translation>The records server answers again: everything typed is stored.</translation>
    </message>
    <message>
        <source>There is no record to save.</source>
        <translation>There is no record to save.</translation>
    </message>
    <message>
        <source>The record was NOT saved to %1: %2</source>
        <translation>The record was NOT saved to %1: %2</translation>
    </message>
    <message>
        <source>The record is saved in %1 as %2 with its %3 points%4. Once the server answers, take it there with: kv508ctl records copy --from sqlite:%1 --to &lt;the server&gt;</source>
        <translation>The record is saved in %1 as %2 with its %3 points%4. Once the server answers, take it there with: kv508ctl records copy --from sqlite:%1 --to &lt;the server&gt;</translation>
    </message>
    <message>
        <source> (%1 was taken in that file)</source>
        <translation> (%1 was taken in that file)</translation>
    </message>
    <message>
        <source>Points typed here are not stored on the records server yet; wait until they are, or save the record here first.</source>
        <translation>Points typed here are not stored on the records server yet; wait until they are, or save the record here first.</translation>
    </message>
    <message>
        <source>A record is being started; change the location once it is.</source>
        <translation>A record is being started; change the location once it is.</translation>
    </message>
    <message>
        <source>Records are kept in %1 from now on.</source>
        <translation>Records are kept in %1 from now on.</translation>
    </message>
    <message>
        <source>The instrument&apos;s span is not known yet: open the port in the main window and wait until it has read the settings (the values for 4 mA and 20 mA).</source>
        <translation>The instrument&apos;s span is not known yet: open the port in the main window and wait until it has read the settings (the values for 4 mA and 20 mA).</translation>
    </message>
    <message>
        <source>The check cannot start: %1 (4 mA = %2, 20 mA = %3). Set the values for 4 mA and 20 mA on the user page and write them to the instrument.</source>
        <translation>The check cannot start: %1 (4 mA = %2, 20 mA = %3). Set the values for 4 mA and 20 mA on the user page and write them to the instrument.</translation>
    </message>
    <message>
        <source>A record is being started; wait until it is.</source>
        <translation>A record is being started; wait until it is.</translation>
    </message>
    <message>
        <source>Starting a new record…</source>
        <translation>Starting a new record…</translation>
    </message>
    <message>
        <source>The record could not be started: %1</source>
        <translation>The record could not be started: %1</translation>
    </message>
    <message>
        <source>Record %1 started. Type the instrument tag and serial number, then apply the first As-Found point.</source>
        <translation>Record %1 started. Type the instrument tag and serial number, then apply the first As-Found point.</translation>
    </message>
    <message>
        <source>The record could not be read: %1</source>
        <translation>The record could not be read: %1</translation>
    </message>
    <message>
        <source>Record %1 (finished: read-only).</source>
        <translation>Record %1 (finished: read-only).</translation>
    </message>
    <message>
        <source>Record %1 continued.</source>
        <translation>Record %1 continued.</translation>
    </message>
    <message>
        <source>The tolerance must be a number above 0 and at most 100 (% of span), with up to %1 decimals; it stays %2.</source>
        <translation>The tolerance must be a number above 0 and at most 100 (% of span), with up to %1 decimals; it stays %2.</translation>
    </message>
    <message>
        <source>The test points must be percentages of span between -10 and 110, separated by commas or blanks; they stay %1.</source>
        <translation>The test points must be percentages of span between -10 and 110, separated by commas or blanks; they stay %1.</translation>
    </message>
    <message>
        <source> This record keeps %1.</source>
        <translation> This record keeps %1.</translation>
    </message>
    <message>
        <source>no number</source>
        <translation>no number</translation>
    </message>
    <message>
        <source>Start a record first (&quot;New record&quot;).</source>
        <translation>Start a record first (&quot;New record&quot;).</translation>
    </message>
    <message>
        <source>The record is finished; start a new one to check again.</source>
        <translation>The record is finished; start a new one to check again.</translation>
    </message>
    <message>
        <source>There is no test point %1.</source>
        <translation>There is no test point %1.</translation>
    </message>
    <message>
        <source>The applied value &quot;%1&quot; is not a number with at most %2 decimals.</source>
        <translation>The applied value &quot;%1&quot; is not a number with at most %2 decimals.</translation>
    </message>
    <message>
        <source>The ammeter reading &quot;%1&quot; is not a current in mA with at most %2 decimals.</source>
        <translation>The ammeter reading &quot;%1&quot; is not a current in mA with at most %2 decimals.</translation>
    </message>
    <message>
        <source>Point %1 (%2) was NOT saved: %3. Enter it again once the cause is fixed.</source>
        <translation>Point %1 (%2) was NOT saved: %3. Enter it again once the cause is fixed.</translation>
    </message>
    <message>
        <source>%1 point %2 saved.</source>
        <translation>%1 point %2 saved.</translation>
    </message>
    <message>
        <source>Points typed here are not stored on the records server yet: the record can be finished once they are (or save it here with &quot;Save here…&quot;).</source>
        <translation>Points typed here are not stored on the records server yet: the record can be finished once they are (or save it here with &quot;Save here…&quot;).</translation>
    </message>
    <message>
        <source>The record is finished already.</source>
        <translation>The record is finished already.</translation>
    </message>
    <message>
        <source>The record was NOT finished: %1 Press &quot;Finish record&quot; again once the cause is fixed.</source>
        <translation>The record was NOT finished: %1 Press &quot;Finish record&quot; again once the cause is fixed.</translation>
    </message>
    <message>
        <source>Record %1 finished. Export the certificate with &quot;Certificate PDF…&quot;.</source>
        <translation>Record %1 finished. Export the certificate with &quot;Certificate PDF…&quot;.</translation>
    </message>
    <message>
        <source>Open a finished record first (double-click it in the history).</source>
        <translation>Open a finished record first (double-click it in the history).</translation>
    </message>
    <message>
        <source>Record %1 is not finished: finish it before it is approved.</source>
        <translation>Record %1 is not finished: finish it before it is approved.</translation>
    </message>
    <message>
        <source>Record %1 was approved by %2 already.</source>
        <translation>Record %1 was approved by %2 already.</translation>
    </message>
    <message>
        <source>Type the approver&apos;s name.</source>
        <translation>Type the approver&apos;s name.</translation>
    </message>
    <message>
        <source>%1 made record %2: approval is a second person&apos;s. Ask someone else to approve it.</source>
        <translation>%1 made record %2: approval is a second person&apos;s. Ask someone else to approve it.</translation>
    </message>
    <message>
        <source>Record %1 was NOT approved: %2.</source>
        <translation>Record %1 was NOT approved: %2.</translation>
    </message>
    <message>
        <source>Record %1 approved by %2.</source>
        <translation>Record %1 approved by %2.</translation>
    </message>
    <message>
        <source>The certificate of %1 went out, but it is NOT noted in the record&apos;s audit trail: %2.</source>
        <translation>The certificate of %1 went out, but it is NOT noted in the record&apos;s audit trail: %2.</translation>
    </message>
    <message>
        <source> It is NOT noted in the record&apos;s audit trail: %1.</source>
        <translation> It is NOT noted in the record&apos;s audit trail: %1.</translation>
    </message>
    <message>
        <source>Record written to %1.</source>
        <translation>Record written to %1.</translation>
    </message>
    <message>
        <source>The CSV was not written: %1.</source>
        <translation>The CSV was not written: %1.</translation>
    </message>
    <message>
        <source>As-Found</source>
        <translation>As-Found</translation>
    </message>
    <message>
        <source>As-Left</source>
        <translation>As-Left</translation>
    </message>
</context>
</TS>
