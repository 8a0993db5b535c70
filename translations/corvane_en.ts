<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="it">
<context>
    <name>ClockScreen</name>
    <message>
        <source>Giorno</source>
        <translation>Day</translation>
    </message>
    <message>
        <source>Mese</source>
        <translation>Month</translation>
    </message>
    <message>
        <source>Ore</source>
        <translation>Hours</translation>
    </message>
    <message>
        <source>Minuti</source>
        <translation>Minutes</translation>
    </message>
    <message>
        <source>Data/Ora</source>
        <translation>Date/Time</translation>
    </message>
    <message>
        <source>  GG     MM </source>
        <translation>  DD     MM </translation>
    </message>
    <message>
        <source>  Ore     Min </source>
        <translation>  Hour    Min </translation>
    </message>
    <message>
        <source>Invia</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>uscita</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>Sistema</source>
        <comment>frame: the PC&apos;s clock</comment>
        <translation>PC Clock</translation>
    </message>
    <message>
        <source>Sistema</source>
        <comment>button: send the PC&apos;s clock</comment>
        <translation>Send PC Time</translation>
    </message>
</context>
<context>
    <name>FileSummary</name>
    <message>
        <source>%1 Bytes totali</source>
        <translation>%1 bytes in total</translation>
    </message>
    <message>
        <source>Scarico su polling del %1  %2</source>
        <translation>Polled on %1  %2</translation>
    </message>
    <message>
        <source>Scarico del %1/%2 effettuato alle %3:%4:%5,%6</source>
        <translation>Downloaded %1/%2 at %3:%4:%5,%6</translation>
    </message>
</context>
<context>
    <name>InfoBox</name>
    <message>
        <source>Informazioni</source>
        <translation>About</translation>
    </message>
    <message>
        <source>Software per  terminali  V. 3.0 plus</source>
        <translation>Data terminal software V. 3.0 plus</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Records</source>
        <translation>Records</translation>
    </message>
    <message>
        <source>Porta</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>Cancella Memoria</source>
        <translation>Clear Memory</translation>
    </message>
    <message>
        <source>Polling</source>
        <translation>Polling</translation>
    </message>
    <message>
        <source>Record in Memoria</source>
        <translation>Records in Memory</translation>
    </message>
    <message>
        <source>Versione Firmware</source>
        <translation>Firmware Version</translation>
    </message>
    <message>
        <source>Preferenze</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Visualizza dati</source>
        <translation>View Data</translation>
    </message>
    <message>
        <source>Uscita</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>   &amp;File   </source>
        <translation>   &amp;File   </translation>
    </message>
    <message>
        <source>Cancella &amp;Memoria</source>
        <translation>&amp;Clear Memory</translation>
    </message>
    <message>
        <source>&amp;Polling</source>
        <translation>&amp;Polling</translation>
    </message>
    <message>
        <source>&amp;Numero Records</source>
        <translation>Record Co&amp;unt</translation>
    </message>
    <message>
        <source>&amp;Versione Firmware</source>
        <translation>&amp;Firmware Version</translation>
    </message>
    <message>
        <source>P&amp;rogrammazione</source>
        <translation>P&amp;rogramming</translation>
    </message>
    <message>
        <source>Visualizza &amp;Dati</source>
        <translation>&amp;View Data</translation>
    </message>
    <message>
        <source>&amp;Uscita</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>&amp;Informazioni</source>
        <translation>&amp;About</translation>
    </message>
    <message>
        <source>&amp;Settaggi</source>
        <translation>&amp;Settings</translation>
    </message>
    <message>
        <source>Porta COM non disponibile</source>
        <translation>COM port not available</translation>
    </message>
    <message>
        <source>Cancellare il contenuto della memoria ?</source>
        <translation>Clear the terminal&apos;s memory?</translation>
    </message>
    <message>
        <source>Memoria Cancellata</source>
        <translation>Memory cleared</translation>
    </message>
    <message>
        <source>Conteggio Records Attendere !</source>
        <translation>Counting records, please wait!</translation>
    </message>
    <message>
        <source>Memoria Vuota</source>
        <translation>Memory is empty</translation>
    </message>
    <message>
        <source>%1 Records Presenti in Memoria !</source>
        <translation>%1 records in memory!</translation>
    </message>
    <message>
        <source>Uscire da Corvane ?</source>
        <translation>Quit Corvane?</translation>
    </message>
    <message>
        <source>Il programma SCARICA lo scanner (Terminale)<byte value="xd"/>
settato con terminatore record CR o CR+LF<byte value="xd"/>
<byte value="xd"/>
Non si otterra un file con formato corretto<byte value="xd"/>
usando il terminatore (TAB)<byte value="xd"/>
<byte value="xd"/>
</source>
        <translation>This program DOWNLOADS a scanner (terminal)<byte value="xd"/>
set to end each record with CR or CR+LF.<byte value="xd"/>
<byte value="xd"/>
With the TAB terminator the file<byte value="xd"/>
will not come out in the right format.<byte value="xd"/>
<byte value="xd"/>
</translation>
    </message>
</context>
<context>
    <name>ParameterCatalogue</name>
    <message>
        <source>Il comando cancellera&apos; anche i dati in memoria !!!</source>
        <translation>This will also erase the data in the terminal&apos;s memory!</translation>
    </message>
    <message>
        <source>ATTENZIONE!!!<byte value="xd"/>
Lo scanner non potra&apos; lavorare con questo programma<byte value="xd"/>
cambiando la velocita di comunicazione.<byte value="xd"/>
Sara&apos; necessario resettare la velocita&apos; &lt;9600&gt; dal manuale di programmazione!!!<byte value="xd"/>
</source>
        <translation>WARNING!<byte value="xd"/>
At another line speed the scanner will no longer<byte value="xd"/>
work with this program.<byte value="xd"/>
You will have to set it back to &lt;9600&gt; from the programming manual!<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>Terminatore Record (CR+LF) ?</source>
        <translation>End records with CR+LF?</translation>
    </message>
    <message>
        <source>Terminatore Record (CR) ?</source>
        <translation>End records with CR?</translation>
    </message>
    <message>
        <source>Lo Scanner non SCARICA correttamente con questo<byte value="xd"/>
programma se si utilizza il terminatore (TAB)<byte value="xd"/>
<byte value="xd"/>
Configurare con terminatore (TAB) ?</source>
        <translation>This program cannot DOWNLOAD the scanner correctly<byte value="xd"/>
when records end with TAB.<byte value="xd"/>
<byte value="xd"/>
End records with TAB anyway?</translation>
    </message>
    <message>
        <source>Separatore campi (;) ?</source>
        <translation>Separate fields with &quot;;&quot;?</translation>
    </message>
    <message>
        <source>Separatore campi (TAB) ?</source>
        <translation>Separate fields with TAB?</translation>
    </message>
    <message>
        <source>Separatore campi (CR) ?</source>
        <translation>Separate fields with CR?</translation>
    </message>
    <message>
        <source>Separatore campi (CR+LF) ?</source>
        <translation>Separate fields with CR+LF?</translation>
    </message>
    <message>
        <source>0 mSec</source>
        <translation>0 ms</translation>
    </message>
    <message>
        <source>Pausa Inter-Record (0 mSec) ?</source>
        <translation>No pause between records?</translation>
    </message>
    <message>
        <source>200 mSec</source>
        <translation>200 ms</translation>
    </message>
    <message>
        <source>Pausa Inter-Record (200 mSec) ?</source>
        <translation>Pause 200 ms between records?</translation>
    </message>
    <message>
        <source>900 mSec</source>
        <translation>900 ms</translation>
    </message>
    <message>
        <source>Pausa Inter-Record (900 mSec) ?</source>
        <translation>Pause 900 ms between records?</translation>
    </message>
    <message>
        <source>Velocita&apos; di comunicazione &lt;2400&gt; ?</source>
        <translation>Set the line speed to &lt;2400&gt;?</translation>
    </message>
    <message>
        <source>Velocita&apos; di comunicazione &lt;4800&gt; ?</source>
        <translation>Set the line speed to &lt;4800&gt;?</translation>
    </message>
    <message>
        <source>Velocita&apos; di comunicazione &lt;9600&gt; ?</source>
        <translation>Set the line speed to &lt;9600&gt;?</translation>
    </message>
    <message>
        <source>Velocita&apos; di comunicazione &lt;19200&gt; ?</source>
        <translation>Set the line speed to &lt;19200&gt;?</translation>
    </message>
    <message>
        <source>Codice+Q.tà</source>
        <translation>Code+Qty</translation>
    </message>
    <message>
        <source>Formato File Codice+Quantita ?</source>
        <translation>File format: code and quantity?</translation>
    </message>
    <message>
        <source>Solo Codice</source>
        <translation>Code Only</translation>
    </message>
    <message>
        <source>Formato File solo Codice ?</source>
        <translation>File format: code only?</translation>
    </message>
    <message>
        <source>Con Data/Ora</source>
        <translation>With Date/Time</translation>
    </message>
    <message>
        <source>Aggiungere il campo DATA/ORA ?</source>
        <translation>Add the DATE/TIME field?</translation>
    </message>
    <message>
        <source>No Data/Ora</source>
        <translation>No Date/Time</translation>
    </message>
    <message>
        <source>Eliminare il campo DATA/ORA ?</source>
        <translation>Drop the DATE/TIME field?</translation>
    </message>
    <message>
        <source>Senza LRC</source>
        <translation>No LRC</translation>
    </message>
    <message>
        <source>Scarico Dati senza LRC ?</source>
        <translation>Download data without LRC?</translation>
    </message>
    <message>
        <source>Con LRC</source>
        <translation>With LRC</translation>
    </message>
    <message>
        <source>Scarico Dati con LRC ?</source>
        <translation>Download data with LRC?</translation>
    </message>
    <message>
        <source>1 Carattere</source>
        <translation>1 Digit</translation>
    </message>
    <message>
        <source>Impostare il Formato Quantita&apos; a &lt;1&gt; carattere ?</source>
        <translation>Set quantities to &lt;1&gt; digit?</translation>
    </message>
    <message>
        <source>2 Caratteri</source>
        <translation>2 Digits</translation>
    </message>
    <message>
        <source>Impostare il Formato Quantita&apos; a &lt;2&gt; caratteri ?</source>
        <translation>Set quantities to &lt;2&gt; digits?</translation>
    </message>
    <message>
        <source>3 Caratteri</source>
        <translation>3 Digits</translation>
    </message>
    <message>
        <source>Impostare il Formato Quantita&apos; a &lt;3&gt; caratteri ?</source>
        <translation>Set quantities to &lt;3&gt; digits?</translation>
    </message>
    <message>
        <source>4 Caratteri</source>
        <translation>4 Digits</translation>
    </message>
    <message>
        <source>Impostare il Formato Quantita&apos; a &lt;4&gt; caratteri ?</source>
        <translation>Set quantities to &lt;4&gt; digits?</translation>
    </message>
    <message>
        <source>5 Caratteri</source>
        <translation>5 Digits</translation>
    </message>
    <message>
        <source>Impostare il Formato Quantita&apos; a &lt;5&gt; caratteri ?</source>
        <translation>Set quantities to &lt;5&gt; digits?</translation>
    </message>
    <message>
        <source>6 Caratteri</source>
        <translation>6 Digits</translation>
    </message>
    <message>
        <source>Impostare il Formato Quantita&apos; a &lt;6&gt; caratteri ?</source>
        <translation>Set quantities to &lt;6&gt; digits?</translation>
    </message>
    <message>
        <source>Totale</source>
        <translation>Full</translation>
    </message>
    <message>
        <source>Modalita&apos; di Scarico Totale ?</source>
        <translation>Full download mode?</translation>
    </message>
    <message>
        <source>Protocollo</source>
        <translation>Protocol</translation>
    </message>
    <message>
        <source>Modalita&apos; di Scarico con protocollo ?<byte value="xd"/>
Lo scanner non potra&apos; scaricare i dati con questo programma<byte value="xd"/>
essendo settato in modalita Protocollo!!!</source>
        <translation>Download with protocol?<byte value="xd"/>
In protocol mode the scanner cannot download<byte value="xd"/>
its data to this program!</translation>
    </message>
    <message>
        <source>Off Line</source>
        <translation>Off Line</translation>
    </message>
    <message>
        <source>Settare lo scanner in modo Off-Line ?</source>
        <translation>Set the scanner off-line?</translation>
    </message>
    <message>
        <source>On Line</source>
        <translation>On Line</translation>
    </message>
    <message>
        <source>Settare lo scanner in modo On-Line ?</source>
        <translation>Set the scanner on-line?</translation>
    </message>
    <message>
        <source>File</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Modo di Scarico (FILE) ?</source>
        <translation>Download as a file (FILE)?</translation>
    </message>
    <message>
        <source>Ripristina Default</source>
        <translation>Restore Defaults</translation>
    </message>
    <message>
        <source>Ripristinare tutti i parametri di DEFAULT ?</source>
        <translation>Restore every setting to its DEFAULT?</translation>
    </message>
    <message>
        <source>Terminatore record</source>
        <translation>Record terminator</translation>
    </message>
    <message>
        <source>Separatore campi</source>
        <translation>Field separator</translation>
    </message>
    <message>
        <source>Pausa Inter-record</source>
        <translation>Record pause</translation>
    </message>
    <message>
        <source>BAUD rate</source>
        <translation>Baud rate</translation>
    </message>
    <message>
        <source>Formato File</source>
        <translation>File format</translation>
    </message>
    <message>
        <source>Data / Ora</source>
        <translation>Date / Time</translation>
    </message>
    <message>
        <source>LRC Checksum</source>
        <translation>LRC checksum</translation>
    </message>
    <message>
        <source>Formato Quantità</source>
        <translation>Quantity format</translation>
    </message>
    <message>
        <source>Modalità di Scarico</source>
        <translation>Download type</translation>
    </message>
    <message>
        <source>Modo Operativo</source>
        <translation>Operating mode</translation>
    </message>
    <message>
        <source>Modo di Scarico</source>
        <translation>Download mode</translation>
    </message>
    <message>
        <source>CR + LF</source>
        <translation>CR + LF</translation>
    </message>
    <message>
        <source>CR</source>
        <translation>CR</translation>
    </message>
    <message>
        <source>TAB</source>
        <translation>TAB</translation>
    </message>
    <message>
        <source>;</source>
        <translation>;</translation>
    </message>
    <message>
        <source>2400</source>
        <translation>2400</translation>
    </message>
    <message>
        <source>4800</source>
        <translation>4800</translation>
    </message>
    <message>
        <source>9600</source>
        <translation>9600</translation>
    </message>
    <message>
        <source>19200</source>
        <translation>19200</translation>
    </message>
</context>
<context>
    <name>PollScreen</name>
    <message>
        <source>Off Line</source>
        <translation>Off Line</translation>
    </message>
    <message>
        <source>On Line</source>
        <translation>On Line</translation>
    </message>
    <message>
        <source>Records</source>
        <translation>Records</translation>
    </message>
    <message>
        <source>Cancella Lista</source>
        <translation>Clear List</translation>
    </message>
    <message>
        <source>Uscita</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>Polling</source>
        <translation>Polling</translation>
    </message>
    <message>
        <source>Errore di Comunicazione</source>
        <translation>Communication error</translation>
    </message>
    <message>
        <source>Terminale Compatibile</source>
        <translation>Terminal recognised</translation>
    </message>
    <message>
        <source>Presenti dati in memoria</source>
        <translation>Data in memory</translation>
    </message>
    <message>
        <source>Nessun record in memoria</source>
        <translation>No records in memory</translation>
    </message>
    <message>
        <source>Scarico dati su File: %1</source>
        <translation>Downloading to file: %1</translation>
    </message>
    <message>
        <source>Rimuovere i dati presenti nella lista ?</source>
        <translation>Remove the records from the list?</translation>
    </message>
    <message>
        <source>Record N° %1</source>
        <translation>Record No. %1</translation>
    </message>
    <message>
        <source>%1 Records</source>
        <translation>%1 records</translation>
    </message>
    <message>
        <source>Errore scrittura file dati</source>
        <translation>Cannot write the data file</translation>
    </message>
</context>
<context>
    <name>PortCheck</name>
    <message>
        <source>Porta COM non disponibile</source>
        <translation>COM port not available</translation>
    </message>
    <message>
        <source>Errore sulla porta COM<byte value="xd"/>
Terminale scollegato o Driver mancante<byte value="xd"/>
Collegare il terminale riaprire la COM dalla finestra principale<byte value="xd"/>
Se il problema persiste riavviare completamente il programma<byte value="xd"/>
</source>
        <translation>COM port error<byte value="xd"/>
Terminal disconnected or driver missing<byte value="xd"/>
Connect the terminal, then reopen the port from the main window<byte value="xd"/>
If the problem persists, restart the program<byte value="xd"/>
</translation>
    </message>
</context>
<context>
    <name>PortHolder</name>
    <message>
        <source>Porta in uso da %1 (processo %2): chiudere quel programma</source>
        <translation>Port in use by %1 (process %2): close that program</translation>
    </message>
    <message>
        <source>Porta in uso da %1 (processo %2, servizio %3): %4</source>
        <translation>Port in use by %1 (process %2, service %3): %4</translation>
    </message>
</context>
<context>
    <name>ProgrammingScreen</name>
    <message>
        <source>Programmazione</source>
        <translation>Terminal Programming</translation>
    </message>
    <message>
        <source>Ripristina Default</source>
        <translation>Restore Defaults</translation>
    </message>
    <message>
        <source>Uscita</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>Data / Ora</source>
        <translation>Date / Time</translation>
    </message>
    <message>
        <source>Data/Ora  Terminale:</source>
        <translation>Terminal date/time:</translation>
    </message>
    <message>
        <source>Data terminale</source>
        <translation>Terminal date</translation>
    </message>
    <message>
        <source>Ora terminale</source>
        <translation>Terminal time</translation>
    </message>
</context>
<context>
    <name>TerminalStatus</name>
    <message>
        <source>Versione Firmware: %1.%2  %3</source>
        <translation>Firmware version: %1.%2  %3</translation>
    </message>
</context>
<context>
    <name>ViewerScreen</name>
    <message>
        <source>Visualizza dati</source>
        <translation>View Data</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>Files</translation>
    </message>
    <message>
        <source>Records</source>
        <translation>Records</translation>
    </message>
    <message>
        <source>Apri File</source>
        <translation>Open File</translation>
    </message>
    <message>
        <source>Rimuovi File</source>
        <translation>Delete File</translation>
    </message>
    <message>
        <source>Uscita</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>%1 Records</source>
        <translation>%1 records</translation>
    </message>
    <message>
        <source>Il File %1 e&apos; troppo grande per essere visualizzato</source>
        <translation>File %1 is too large to display</translation>
    </message>
    <message>
        <source>Record N° %1</source>
        <translation>Record No. %1</translation>
    </message>
    <message>
        <source>Rimuovere il File %1 ?</source>
        <translation>Delete file %1?</translation>
    </message>
    <message>
        <source>Il File %1 e&apos; in uso per lo scarico dati: non rimosso</source>
        <translation>File %1 is in use for polling: not deleted</translation>
    </message>
    <message>
        <source>Errore di lettura del File %1</source>
        <translation>Error reading file %1</translation>
    </message>
    <message>
        <source>Il File %1 non e&apos; stato rimosso</source>
        <translation>File %1 was not deleted</translation>
    </message>
    <message>
        <source>Il File %1 e&apos; stato rimosso, ma potrebbe ricomparire dopo un&apos;interruzione di corrente</source>
        <translation>File %1 was deleted, but it may come back after a power failure</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Impossibile creare la cartella dei dati %1</source>
        <translation>Cannot create the data folder %1</translation>
    </message>
</context>
<context>
    <name>terminal</name>
    <message>
        <source>Lo Scanner non Risponde !!  Verificare che sia connesso e acceso !</source>
        <translation>The scanner does not answer! Check that it is connected and switched on.</translation>
    </message>
    <message>
        <source>Errore di comunicazione !!</source>
        <translation>Communication error!</translation>
    </message>
    <message>
        <source>Errore su porta COM</source>
        <translation>COM port error</translation>
    </message>
    <message>
        <source>Operazione effettuata</source>
        <translation>Done</translation>
    </message>
</context>
</TS>
