<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>Form1</name>
    <message>
        <source>Form1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Soros port megnyitása</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A felhasználói és a kalibrálási oldal között a Ctrl+Tab (vagy Ctrl+PgDn, Ctrl+PgUp) billentyűkkel lehet váltani.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Mért érték, kimenő áram, hibajelzések, információk</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Mért nyomás</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>00000</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Kimenő áram</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>00.000 mA</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Hibajelzések (piros szín jelzi)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Nincs kalibrálva</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Hibás szenzor</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Hiányzó beállítások</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Szenzor túlterhelés</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Kimenet tartományon kívül</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Förmver: v</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Kalibrálás dátuma:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Beállítások</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A készülékben tárolt beállítások kiolvasása és megjelenítése</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Kimenő áramokhoz tartozó nyomás értékek</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>4 mA kimenő áramhoz tartozó nyomás:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>20 mA kimenő áramhoz tartozó nyomás:</source>
        <translation type="unfinished"></translation>
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
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Hiba jelző áram</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A hiba jelző áram értéke</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Az új beállítások készülékbe írása és abban való eltárolása</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Zero</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>10.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Calibrate input</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ADC value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Set as 0</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Set as scale end</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>3.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>4.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Scale end = 0000</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reset</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>9., 11.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Erase full EEPROM memory</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Calibrate output</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PWM Force</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>-1000</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>-100</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>-10</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>-1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>+1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>+10</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>+100</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>+1000</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>0</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>F</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>50 %</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>5.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>8.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>0 000</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>6.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>7.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Set as 4 mA</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Set as 20 mA</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> Write settings to instrumnet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Averaging:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(SPS = 0)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Input</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pressure sensor</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1.</source>
        <translation type="unfinished"></translation>
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
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
