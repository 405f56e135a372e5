<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en">
<context>
    <name>GuiBatchHost</name>
    <message>
        <source>Are you sure you overwrite original images</source>
        <translation>Sollen die Originalbilder wirklich überschrieben werden?</translation>
    </message>
</context>
<context>
    <name>HelpSystem</name>
    <message>
        <source>No help is available: the help file %1 cannot be shown.</source>
        <translation>Keine Hilfe verfügbar: Die Hilfedatei %1 kann nicht angezeigt werden.</translation>
    </message>
    <message>
        <source>No help found for %1</source>
        <translation>Keine Hilfe gefunden für %1</translation>
    </message>
    <message>
        <source>Unable to find a table of contents</source>
        <translation>Kein Inhaltsverzeichnis gefunden</translation>
    </message>
    <message>
        <source>No help found for context %1</source>
        <translation>Keine Hilfe gefunden für Kontext %1</translation>
    </message>
</context>
<context>
    <name>MessageBoxes</name>
    <message>
        <source>Information</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>&amp;Yes</source>
        <translation>&amp;Ja</translation>
    </message>
    <message>
        <source>&amp;No</source>
        <translation>&amp;Nein</translation>
    </message>
    <message>
        <source>Don&apos;t show again in this run</source>
        <translation>In diesem Lauf nicht mehr anzeigen</translation>
    </message>
</context>
<context>
    <name>ReferenceTimeDialog</name>
    <message>
        <source>%1 day</source>
        <translation>%1 Tag</translation>
    </message>
    <message>
        <source>%1 days</source>
        <translation>%1 Tage</translation>
    </message>
    <message>
        <source>%1 hour</source>
        <translation>%1 Stunde</translation>
    </message>
    <message>
        <source>%1 hours</source>
        <translation>%1 Stunden</translation>
    </message>
    <message>
        <source>%1 minute</source>
        <translation>%1 Minute</translation>
    </message>
    <message>
        <source>%1 minutes</source>
        <translation>%1 Minuten</translation>
    </message>
    <message>
        <source>%1 second</source>
        <translation>%1 Sekunde</translation>
    </message>
    <message>
        <source>%1 seconds</source>
        <translation>%1 Sekunden</translation>
    </message>
</context>
<context>
    <name>morrowtide::app::BatchRun</name>
    <message>
        <source>Cancelled: %1/%2 Files Processed.</source>
        <translation>Abgebrochen: %1/%2 Dateien bearbeitet.</translation>
    </message>
    <message>
        <source>Completed Successfully (%1 Files)</source>
        <translation>Erfolgreich abgeschlossen (%1 Dateien)</translation>
    </message>
    <message>
        <source>Completed Successfully (%1/%2 Files)</source>
        <translation>Erfolgreich abgeschlossen (%1/%2 Dateien)</translation>
    </message>
    <message>
        <source>Error: Invalid Directory</source>
        <translation>Fehler: Ungültiger Ordner</translation>
    </message>
</context>
<context>
    <name>morrowtide::app::Naming</name>
    <message>
        <source>Invalid file mask</source>
        <translation>Ungültige Dateimaske</translation>
    </message>
    <message>
        <source>It gives names that begin with &quot;.&quot;, which hides the copies in file managers.</source>
        <translation>Sie ergibt Namen, die mit „.“ beginnen; Dateimanager zeigen solche Kopien nicht an.</translation>
    </message>
    <message>
        <source>It leaves the name empty: each copy would be named by its extension alone (&quot;.jpg&quot;), which hides it in file managers.</source>
        <translation>Sie lässt den Namen leer: Jede Kopie hieße nur wie ihre Endung („.jpg“), und Dateimanager zeigen sie nicht an.</translation>
    </message>
</context>
<context>
    <name>morrowtide::gui::AboutBox</name>
    <message>
        <source>About</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>Product Name:</source>
        <translation>Produktname:</translation>
    </message>
    <message>
        <source>Version:</source>
        <translation>Version:</translation>
    </message>
    <message>
        <source>E-Mail:</source>
        <translation>E-Mail:</translation>
    </message>
    <message>
        <source>Click Here</source>
        <translation>Hier klicken</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>If you found this program useful please make a donation.</source>
        <translation>Wenn Ihnen dieses Programm nützt, freuen wir uns über eine Spende.</translation>
    </message>
</context>
<context>
    <name>morrowtide::gui::AboutBoxDlg</name>
    <message>
        <source>About %1</source>
        <translation>Über %1</translation>
    </message>
</context>
<context>
    <name>morrowtide::gui::CameraPanel</name>
    <message>
        <source>Convert between time zones instead of the offset</source>
        <translation>Zwischen Zeitzonen umrechnen statt des Versatzes</translation>
    </message>
    <message>
        <source>Each date is converted at its own moment, so a change to or from summer time during the trip comes out right. Cameras with an offset of their own keep it.</source>
        <translation>Jedes Datum wird zu seinem eigenen Zeitpunkt umgerechnet, so dass ein Wechsel zur oder von der Sommerzeit während der Reise richtig herauskommt. Kameras mit eigenem Versatz behalten ihn.</translation>
    </message>
    <message>
        <source>The clocks showed:</source>
        <translation>Die Uhren zeigten:</translation>
    </message>
    <message>
        <source>The photos were taken in:</source>
        <translation>Die Fotos wurden aufgenommen in:</translation>
    </message>
    <message>
        <source>Camera</source>
        <translation>Kamera</translation>
    </message>
    <message>
        <source>Photos</source>
        <translation>Fotos</translation>
    </message>
    <message>
        <source>Offset</source>
        <translation>Versatz</translation>
    </message>
    <message>
        <source>Suggested by the GPS times</source>
        <translation>Vorschlag aus den GPS-Zeiten</translation>
    </message>
    <message>
        <source>Offset: such as +1h, -0:30:00 or +1d2h3m4s; 0 keeps the camera&apos;s dates as they are; empty takes the offset of the main window</source>
        <translation>Versatz: etwa +1h, -0:30:00 oder +1d2h3m4s; 0 lässt die Daten der Kamera, wie sie sind; leer nimmt den Versatz des Hauptfensters</translation>
    </message>
    <message>
        <source>No camera</source>
        <translation>Keine Kamera</translation>
    </message>
    <message>
        <source>%1 (%2 of %3 photos agree within a minute)</source>
        <translation>%1 (%2 von %3 Fotos stimmen auf eine Minute überein)</translation>
    </message>
    <message>
        <source>no GPS times</source>
        <translation>keine GPS-Zeiten</translation>
    </message>
    <message>
        <source>Use suggested offset</source>
        <translation>Vorgeschlagenen Versatz übernehmen</translation>
    </message>
    <message>
        <source>Not an offset such as +1h, -0:30:00, +1d2h3m4s or 0</source>
        <translation>Kein Versatz wie +1h, -0:30:00, +1d2h3m4s oder 0</translation>
    </message>
    <message>
        <source>Too large an offset</source>
        <translation>Zu großer Versatz</translation>
    </message>
    <message>
        <source>Not a time zone this system knows: %1; the offset of the main window applies.</source>
        <translation>Keine Zeitzone, die dieses System kennt: %1; es gilt der Versatz des Hauptfensters.</translation>
    </message>
    <message>
        <source>Show its photos</source>
        <translation>Ihre Fotos zeigen</translation>
    </message>
    <message>
        <source>List only the photos of the selected camera</source>
        <translation>Nur die Fotos der gewählten Kamera auflisten</translation>
    </message>
    <message>
        <source>Type an offset per camera; a camera left empty takes the offset of the main window. The offsets are kept with &quot;Save Options&quot;.</source>
        <translation>Geben Sie je Kamera einen Versatz ein; eine leer gelassene Kamera nimmt den Versatz des Hauptfensters. Die Versätze werden mit „Optionen speichern“ behalten.</translation>
    </message>
</context>
<context>
    <name>morrowtide::gui::HelpWindow</name>
    <message>
        <source>Morrowtide Help</source>
        <translation>Morrowtide-Hilfe</translation>
    </message>
    <message>
        <source>Contents</source>
        <translation>Inhalt</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <source>Forward</source>
        <translation>Vor</translation>
    </message>
    <message>
        <source>The help file was not found.</source>
        <translation>Die Hilfedatei wurde nicht gefunden.</translation>
    </message>
    <message>
        <source>No temporary folder for the help index: %1</source>
        <translation>Kein temporärer Ordner für den Hilfeindex: %1</translation>
    </message>
    <message>
        <source>It is not a readable help file.</source>
        <translation>Es ist keine lesbare Hilfedatei.</translation>
    </message>
    <message>
        <source>The help file has no pages.</source>
        <translation>Die Hilfedatei hat keine Seiten.</translation>
    </message>
</context>
<context>
    <name>morrowtide::gui::MainWindow</name>
    <message>
        <source>Photos</source>
        <translation>Fotos</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>Go</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Schließen</translation>
    </message>
    <message>
        <source>Source folder:</source>
        <translation>Quellordner:</translation>
    </message>
    <message>
        <source>Destination folder:</source>
        <translation>Zielordner:</translation>
    </message>
    <message>
        <source>Correct time by:</source>
        <translation>Zeit korrigieren um:</translation>
    </message>
    <message>
        <source>Days:</source>
        <translation>Tage:</translation>
    </message>
    <message>
        <source>Hours:</source>
        <translation>Stunden:</translation>
    </message>
    <message>
        <source>Minutes:</source>
        <translation>Minuten:</translation>
    </message>
    <message>
        <source>Seconds:</source>
        <translation>Sekunden:</translation>
    </message>
    <message>
        <source>Recurse folders</source>
        <translation>Unterordner einbeziehen</translation>
    </message>
    <message>
        <source>Auto rename if already exists</source>
        <translation>Automatisch umbenennen, falls vorhanden</translation>
    </message>
    <message>
        <source>Include current filename</source>
        <translation>Aktuellen Dateinamen anhängen</translation>
    </message>
    <message>
        <source>Include datetime in filename</source>
        <translation>Datum und Uhrzeit in den Dateinamen</translation>
    </message>
    <message>
        <source>Overwrite datetime in filename</source>
        <translation>Datum und Uhrzeit im Dateinamen ersetzen</translation>
    </message>
    <message>
        <source>Preserve original modifcation date</source>
        <translation>Ursprüngliches Änderungsdatum beibehalten</translation>
    </message>
    <message>
        <source>Output file mask:</source>
        <translation>Maske der Ausgabedatei:</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>&amp;Save Options</source>
        <translation>Optionen &amp;speichern</translation>
    </message>
    <message>
        <source>Show &amp;Log</source>
        <translation>&amp;Protokoll anzeigen</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>Contents</source>
        <translation>Inhalt</translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation>Ü&amp;ber</translation>
    </message>
    <message>
        <source>The mask &quot;%1&quot; was read from the settings file %2.</source>
        <translation>Die Maske „%1“ stammt aus der Einstellungsdatei %2.</translation>
    </message>
    <message>
        <source>Location of your images</source>
        <translation>Ort Ihrer Bilder</translation>
    </message>
    <message>
        <source>Location of modified images</source>
        <translation>Ort der geänderten Bilder</translation>
    </message>
    <message>
        <source>No run was started: no valid file mask has been accepted yet, so the photos could not be named.

Enter a file mask on the Options tab, then press Go again.</source>
        <translation>Es wurde kein Lauf gestartet: Bisher wurde keine gültige Dateimaske übernommen, daher könnten die Fotos nicht benannt werden.

Geben Sie auf der Registerkarte „Optionen“ eine Dateimaske ein und klicken Sie dann erneut auf „Start“.</translation>
    </message>
    <message>
        <source>No run was started: the file mask &quot;%1&quot; would hide the copies.

%2

Change the file mask on the Options tab, then press Go again.</source>
        <translation>Es wurde kein Lauf gestartet: Die Dateimaske „%1“ würde die Kopien verbergen.

%2

Ändern Sie die Dateimaske auf der Registerkarte „Optionen“ und klicken Sie dann erneut auf „Start“.</translation>
    </message>
    <message>
        <source>Photos (*.jpg *.JPG)</source>
        <translation>Fotos (*.jpg *.JPG)</translation>
    </message>
    <message>
        <source>Set from a photo…</source>
        <translation>Aus einem Foto übernehmen…</translation>
    </message>
    <message>
        <source>Take the offset from one photo whose true date and time you know</source>
        <translation>Die Abweichung aus einem Foto übernehmen, dessen wahres Datum und dessen wahre Uhrzeit Sie kennen</translation>
    </message>
    <message>
        <source>Preview…</source>
        <translation>Vorschau…</translation>
    </message>
    <message>
        <source>See what a run would do to every photo, before anything is written (F5)</source>
        <translation>Sehen, was ein Lauf mit jedem Foto täte, bevor etwas geschrieben wird (F5)</translation>
    </message>
    <message>
        <source>Automatic</source>
        <translation>Automatisch</translation>
    </message>
    <message>
        <source>How many photos are read and written at once; Automatic takes twice the number of processor cores, at most 8</source>
        <translation>Wie viele Fotos gleichzeitig gelesen und geschrieben werden; Automatisch nimmt die doppelte Zahl der Prozessorkerne, höchstens 8</translation>
    </message>
    <message>
        <source>Photos at once:</source>
        <translation>Fotos gleichzeitig:</translation>
    </message>
    <message>
        <source>Also correct other photo and video files</source>
        <translation>Auch andere Foto- und Videodateien korrigieren</translation>
    </message>
    <message>
        <source>Raw files, TIFF, HEIC, AVIF, PNG, WebP, movies (MP4, MOV, M4V, 3GP) and XMP sidecars besides the JPEGs; files sharing a base name keep sharing it</source>
        <translation>Raw-Dateien, TIFF, HEIC, AVIF, PNG, WebP, Filme (MP4, MOV, M4V, 3GP) und XMP-Begleitdateien neben den JPEGs; Dateien mit gleichem Grundnamen behalten einen gemeinsamen Namen</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>Vorschau</translation>
    </message>
    <message>
        <source>A photo whose true time you know</source>
        <translation>Ein Foto, dessen wahre Uhrzeit Sie kennen</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>The photo %1 has no readable date, so no offset can be taken from it.

The offset boxes are left as they are.</source>
        <translation>Das Foto %1 hat kein lesbares Datum, daher lässt sich keine Abweichung daraus übernehmen.

Die Felder der Abweichung bleiben, wie sie sind.</translation>
    </message>
    <message>
        <source>Cameras…</source>
        <translation>Kameras…</translation>
    </message>
    <message>
        <source>An offset per camera, time zones, and the timeline of the photos</source>
        <translation>Ein Versatz je Kamera, Zeitzonen und die Zeitleiste der Fotos</translation>
    </message>
    <message>
        <source>dates converted from %1 to %2</source>
        <translation>Daten von %1 nach %2 umgerechnet</translation>
    </message>
    <message>
        <source>Also in force (Cameras…): %1</source>
        <translation>Außerdem wirksam (Kameras…): %1</translation>
    </message>
    <message>
        <source>cameras with an offset of their own: %1</source>
        <translation>Kameras mit eigenem Versatz: %1</translation>
    </message>
</context>
<context>
    <name>morrowtide::gui::PreviewModel</name>
    <message>
        <source>Another year</source>
        <translation>Anderes Jahr</translation>
    </message>
    <message>
        <source>Another day</source>
        <translation>Anderer Tag</translation>
    </message>
    <message>
        <source>The dates of this photo stay as they are</source>
        <translation>Die Daten dieses Fotos bleiben, wie sie sind</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>File name</source>
        <translation>Dateiname</translation>
    </message>
    <message>
        <source>Old capture time</source>
        <translation>Alte Aufnahmezeit</translation>
    </message>
    <message>
        <source>New capture time</source>
        <translation>Neue Aufnahmezeit</translation>
    </message>
    <message>
        <source>New name</source>
        <translation>Neuer Name</translation>
    </message>
    <message>
        <source>Note</source>
        <translation>Hinweis</translation>
    </message>
    <message>
        <source>The offset given for this camera</source>
        <translation>Der für diese Kamera angegebene Versatz</translation>
    </message>
    <message>
        <source>Converted from the one time zone to the other</source>
        <translation>Von der einen Zeitzone in die andere umgerechnet</translation>
    </message>
    <message>
        <source>The offset of the main window</source>
        <translation>Der Versatz des Hauptfensters</translation>
    </message>
    <message>
        <source>Camera</source>
        <translation>Kamera</translation>
    </message>
    <message>
        <source>Correction</source>
        <translation>Korrektur</translation>
    </message>
</context>
<context>
    <name>morrowtide::gui::PreviewWindow</name>
    <message>
        <source>Preview</source>
        <translation>Vorschau</translation>
    </message>
    <message>
        <source>&amp;Refresh</source>
        <translation>&amp;Aktualisieren</translation>
    </message>
    <message>
        <source>Read the photos again, as they are on disk now</source>
        <translation>Die Fotos neu lesen, so wie sie jetzt auf der Festplatte sind</translation>
    </message>
    <message>
        <source>Set from a photo…</source>
        <translation>Aus einem Foto übernehmen…</translation>
    </message>
    <message>
        <source>Take the offset from this photo: type the date and time it was really taken</source>
        <translation>Die Abweichung aus diesem Foto übernehmen: Datum und Uhrzeit eingeben, zu denen es wirklich aufgenommen wurde</translation>
    </message>
    <message>
        <source>another day</source>
        <translation>anderer Tag</translation>
    </message>
    <message>
        <source>another year</source>
        <translation>anderes Jahr</translation>
    </message>
    <message>
        <source>not corrected</source>
        <translation>nicht korrigiert</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Schließen</translation>
    </message>
    <message>
        <source>Searching the folder…</source>
        <translation>Ordner wird durchsucht…</translation>
    </message>
    <message>
        <source>Reading photos… %1 of %2</source>
        <translation>Fotos werden gelesen… %1 von %2</translation>
    </message>
    <message>
        <source>%1 photos, %2 not corrected</source>
        <translation>%1 Fotos, %2 nicht korrigiert</translation>
    </message>
    <message>
        <source>No thumbnail</source>
        <translation>Kein Vorschaubild</translation>
    </message>
    <message>
        <source>Recorded:</source>
        <translation>Aufgezeichnet:</translation>
    </message>
    <message>
        <source>New:</source>
        <translation>Neu:</translation>
    </message>
    <message>
        <source>&amp;Photos</source>
        <translation>&amp;Fotos</translation>
    </message>
    <message>
        <source>C&amp;ameras</source>
        <translation>&amp;Kameras</translation>
    </message>
    <message>
        <source>&amp;Timeline</source>
        <translation>&amp;Zeitleiste</translation>
    </message>
    <message>
        <source>Ca&amp;mera:</source>
        <translation>Ka&amp;mera:</translation>
    </message>
    <message>
        <source>All cameras</source>
        <translation>Alle Kameras</translation>
    </message>
</context>
<context>
    <name>morrowtide::gui::ProgressDialog</name>
    <message>
        <source>Stop</source>
        <translation>Anhalten</translation>
    </message>
    <message>
        <source>Building list of images</source>
        <translation>Liste der Bilder wird erstellt</translation>
    </message>
    <message>
        <source>Processing Images...</source>
        <translation>Bilder werden bearbeitet...</translation>
    </message>
    <message>
        <source>Finished</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <source>Files Processed</source>
        <translation>Dateien bearbeitet</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
</context>
<context>
    <name>morrowtide::gui::ReferenceTimeDialog</name>
    <message>
        <source>Set from a photo</source>
        <translation>Aus einem Foto übernehmen</translation>
    </message>
    <message>
        <source>Type the date and time this photo was really taken (read it off a photo of a clock, or from a phone&apos;s photo of the same moment). The offset boxes get the difference.</source>
        <translation>Geben Sie Datum und Uhrzeit ein, zu denen dieses Foto wirklich aufgenommen wurde (abgelesen vom Foto einer Uhr oder vom Handyfoto desselben Augenblicks). Die Felder der Abweichung erhalten den Unterschied.</translation>
    </message>
    <message>
        <source>Photo:</source>
        <translation>Foto:</translation>
    </message>
    <message>
        <source>Recorded date and time:</source>
        <translation>Aufgezeichnetes Datum und Uhrzeit:</translation>
    </message>
    <message>
        <source>&amp;True date and time:</source>
        <translation>&amp;Wahres Datum und Uhrzeit:</translation>
    </message>
    <message>
        <source>Offset:</source>
        <translation>Abweichung:</translation>
    </message>
    <message>
        <source>too large for the offset boxes</source>
        <translation>zu groß für die Felder der Abweichung</translation>
    </message>
</context>
<context>
    <name>morrowtide::gui::TimelineWidget</name>
    <message>
        <source>No camera</source>
        <translation>Keine Kamera</translation>
    </message>
    <message>
        <source>No photos with a capture date</source>
        <translation>Keine Fotos mit Aufnahmedatum</translation>
    </message>
    <message>
        <source>before</source>
        <translation>vorher</translation>
    </message>
    <message>
        <source>after</source>
        <translation>nachher</translation>
    </message>
    <message>
        <source>Recorded: %1</source>
        <translation>Aufgezeichnet: %1</translation>
    </message>
    <message>
        <source>Corrected: %1</source>
        <translation>Korrigiert: %1</translation>
    </message>
</context>
</TS>
