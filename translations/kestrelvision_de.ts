<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en">
<context>
    <name>Form1</name>
    <message>
        <source>Recordings are kept in</source>
        <translation>Aufnahmen werden gespeichert in</translation>
    </message>
    <message>
        <source>&amp;Open folder</source>
        <translation>&amp;Ordner öffnen</translation>
    </message>
    <message>
        <source>Show the recordings in the file manager</source>
        <translation>Die Aufnahmen in der Dateiverwaltung anzeigen</translation>
    </message>
    <message>
        <source>&amp;Keyboard shortcuts</source>
        <translation>&amp;Tastenkürzel</translation>
    </message>
    <message>
        <source>Every key of the window (Ctrl+?)</source>
        <translation>Alle Tasten des Fensters (Strg+?)</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>Record off</source>
        <translation>Aufnahme aus</translation>
    </message>
    <message>
        <source>Current movement</source>
        <translation>Aktuelle Bewegung</translation>
    </message>
    <message>
        <source>Trigger for recording on movement.</source>
        <translation>Auslöseschwelle für die Aufnahme bei Bewegung.</translation>
    </message>
    <message>
        <source>Select capture device</source>
        <translation>Aufnahmegerät auswählen</translation>
    </message>
    <message>
        <source>Properties capture device</source>
        <translation>Eigenschaften des Aufnahmegeräts</translation>
    </message>
    <message>
        <source>Select compressor</source>
        <translation>Kompressor auswählen</translation>
    </message>
    <message>
        <source>Record OFF</source>
        <translation>Aufnahme aus</translation>
    </message>
    <message>
        <source>Record On</source>
        <translation>Aufnahme ein</translation>
    </message>
    <message>
        <source>Record on movement</source>
        <translation>Aufnahme bei Bewegung</translation>
    </message>
    <message>
        <source>Setup Kestrelvision</source>
        <translation>Kestrelvision einrichten</translation>
    </message>
    <message>
        <source>Playback</source>
        <translation>Wiedergabe</translation>
    </message>
    <message>
        <source>Loading...</source>
        <translation>Wird geladen …</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Open current recording</source>
        <translation>Aktuelle Aufnahme öffnen</translation>
    </message>
    <message>
        <source>Open recording</source>
        <translation>Aufnahme öffnen</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Abspielen</translation>
    </message>
    <message>
        <source>Previous frame</source>
        <translation>Vorheriges Einzelbild</translation>
    </message>
    <message>
        <source>Next frame</source>
        <translation>Nächstes Einzelbild</translation>
    </message>
    <message>
        <source>Previous file</source>
        <translation>Vorherige Datei</translation>
    </message>
    <message>
        <source>Next file</source>
        <translation>Nächste Datei</translation>
    </message>
    <message>
        <source>Save current frame as image</source>
        <translation>Aktuelles Einzelbild als Bild speichern</translation>
    </message>
    <message>
        <source>Print current frame</source>
        <translation>Aktuelles Einzelbild drucken</translation>
    </message>
    <message>
        <source>Play speed (keys + and -)</source>
        <translation>Wiedergabegeschwindigkeit (Tasten + und -)</translation>
    </message>
    <message>
        <source>Kestrelvision records quick motion pictures for long time observation. Even movement controlled.</source>
        <translation>Kestrelvision erzeugt Zeitrafferfilme für Langzeitbeobachtungen – auch bewegungsgesteuert.</translation>
    </message>
    <message>
        <source>&amp;Quit Kestrelvision (Ctrl+Q)</source>
        <translation>Kestrelvision &amp;beenden (Strg+Q)</translation>
    </message>
    <message>
        <source>Kestrelvision erzeugt Zeitrafferfilme für lange Beobachtungen. Auch bewegungsgesteuert.</source>
        <translation>Kestrelvision erzeugt Zeitrafferfilme für Langzeitbeobachtungen – auch bewegungsgesteuert.</translation>
    </message>
    <message>
        <source>Kestrelvision &amp;beenden (Strg+Q)</source>
        <translation>Kestrelvision &amp;beenden (Strg+Q)</translation>
    </message>
    <message>
        <source>&amp;Show</source>
        <translation>&amp;Anzeigen</translation>
    </message>
    <message>
        <source>Q&amp;uit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>Show Mask</source>
        <translation>Maske anzeigen</translation>
    </message>
    <message>
        <source>Autoset Mask</source>
        <translation>Maske automatisch setzen</translation>
    </message>
    <message>
        <source>Clear Mask</source>
        <translation>Maske löschen</translation>
    </message>
    <message>
        <source>Videodatei (*.avi)</source>
        <translation>Videodateien (*.avi)</translation>
    </message>
    <message>
        <source>JPEG File (*.jpg)</source>
        <translation>JPEG-Bild (*.jpg)</translation>
    </message>
    <message>
        <source>24-Bit-Color Bitmap (*.bmp)</source>
        <translation>24-Bit-Farbbitmap (*.bmp)</translation>
    </message>
    <message>
        <source>256-Color-Bitmap (*.bmp)</source>
        <translation>256-Farben-Bitmap (*.bmp)</translation>
    </message>
    <message>
        <source>16-Color-Bitmap (*.bmp)</source>
        <translation>16-Farben-Bitmap (*.bmp)</translation>
    </message>
    <message>
        <source>Monochrom-Bitmap (*.bmp)</source>
        <translation>Monochrom-Bitmap (*.bmp)</translation>
    </message>
    <message>
        <source>Record</source>
        <translation>Aufnahme</translation>
    </message>
    <message>
        <source>Info</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>Day</source>
        <translation>Tag</translation>
    </message>
    <message>
        <source>Show the day&apos;s recordings under the picture</source>
        <translation>Die Aufnahmen des Tages unter dem Bild anzeigen</translation>
    </message>
    <message>
        <source>Film…</source>
        <translation>Film …</translation>
    </message>
    <message>
        <source>Make a film of a span of time</source>
        <translation>Einen Film aus einem Zeitraum erstellen</translation>
    </message>
</context>
<context>
    <name>TDlgSelectCapture</name>
    <message>
        <source>Select capture device</source>
        <translation>Aufnahmegerät auswählen</translation>
    </message>
    <message>
        <source>&amp;Devices:</source>
        <translation>&amp;Geräte:</translation>
    </message>
    <message>
        <source>&amp;Formats:</source>
        <translation>&amp;Formate:</translation>
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
        <source>&amp;Properties...</source>
        <translation>&amp;Eigenschaften …</translation>
    </message>
    <message>
        <source>&amp;Add camera...</source>
        <translation>Kamera &amp;hinzufügen …</translation>
    </message>
    <message>
        <source>Re&amp;move</source>
        <translation>Entfe&amp;rnen</translation>
    </message>
    <message>
        <source>Removes a camera added with &quot;Add camera...&quot;</source>
        <translation>Entfernt eine mit „Kamera hinzufügen …“ hinzugefügte Kamera</translation>
    </message>
    <message>
        <source>No capture device available.</source>
        <translation>Kein Aufnahmegerät verfügbar.</translation>
    </message>
    <message>
        <source>Add a network camera or a video file with &quot;Add camera...&quot;.</source>
        <translation>Fügen Sie mit „Kamera hinzufügen …“ eine Netzwerkkamera oder eine Videodatei hinzu.</translation>
    </message>
    <message>
        <source>Remove the camera &quot;%1&quot;?</source>
        <translation>Die Kamera „%1“ entfernen?</translation>
    </message>
</context>
<context>
    <name>TDlgSelectComp</name>
    <message>
        <source>Select compressor</source>
        <translation>Kompressor auswählen</translation>
    </message>
    <message>
        <source>&amp;Quality</source>
        <translation>&amp;Qualität</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>TDlgSetup</name>
    <message>
        <source>The recording interval is from 100 ms to 10000 s, typed as &quot;1500&quot;, &quot;1500 ms&quot; or &quot;60 s&quot;.</source>
        <translation>Das Aufnahmeintervall liegt zwischen 100 ms und 10000 s und wird als „1500“, „1500 ms“ oder „60 s“ eingegeben.</translation>
    </message>
    <message>
        <source>Above 10 s the recording interval is set in whole seconds.</source>
        <translation>Über 10 s wird das Aufnahmeintervall in ganzen Sekunden eingestellt.</translation>
    </message>
    <message>
        <source>The hard disk space is from 0 MB to 1000 GB, typed as &quot;500&quot;, &quot;500 MB&quot; or &quot;2 GB&quot;.</source>
        <translation>Der Speicherplatz liegt zwischen 0 MB und 1000 GB und wird als „500“, „500 MB“ oder „2 GB“ eingegeben.</translation>
    </message>
    <message>
        <source>Above 1000 MB the hard disk space is set in whole GB.</source>
        <translation>Über 1000 MB wird der Speicherplatz in ganzen GB eingestellt.</translation>
    </message>
    <message>
        <source>Type a whole number from %1 to %2.</source>
        <translation>Geben Sie eine ganze Zahl von %1 bis %2 ein.</translation>
    </message>
    <message>
        <source>Kestrelvision Setup:</source>
        <translation>Kestrelvision einrichten</translation>
    </message>
    <message>
        <source>&amp;Recorder</source>
        <translation>&amp;Aufnahme</translation>
    </message>
    <message>
        <source>&amp;FTP</source>
        <translation>&amp;FTP</translation>
    </message>
    <message>
        <source>Mo&amp;vement</source>
        <translation>&amp;Bewegung</translation>
    </message>
    <message>
        <source>F&amp;ilms</source>
        <translation>Fil&amp;me</translation>
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
        <source>Audio-File (*.wav)</source>
        <translation>Audiodateien (*.wav)</translation>
    </message>
    <message>
        <source>&amp;Framerate for recording:</source>
        <translation>Aufnahme&amp;intervall:</translation>
    </message>
    <message>
        <source>(recommended is 1000 ms to record 1 picture per second to the AVI file. AVI is played back with 25 frames/s. This results in a 25x quick motion picture.)</source>
        <translation>(Empfohlen sind 1000 ms, um 1 Bild pro Sekunde in die AVI-Datei aufzunehmen. AVI wird mit 25 Bildern/s wiedergegeben. Das ergibt einen 25-fachen Zeitraffer.)</translation>
    </message>
    <message>
        <source>Frames to record &amp;after last movement:</source>
        <translation>Aufzunehmende Einzelbilder &amp;nach der letzten Bewegung:</translation>
    </message>
    <message>
        <source>If Kestrelvision records movement controlled, you can specify the amount of frames it shall record after the movement falls back below the threshold. Useful in conjunction with the motion mask.</source>
        <translation>Wenn Kestrelvision bewegungsgesteuert aufnimmt, können Sie festlegen, wie viele Einzelbilder noch aufgenommen werden, nachdem die Bewegung wieder unter die Auslöseschwelle gefallen ist. Nützlich in Verbindung mit der Bewegungsmaske.</translation>
    </message>
    <message>
        <source>&amp;before movement:</source>
        <translation>&amp;vor der Bewegung:</translation>
    </message>
    <message>
        <source>&amp;Maximum hard disk space:</source>
        <translation>Maximaler &amp;Speicherplatz:</translation>
    </message>
    <message>
        <source>Kestrelvision needs hard disk space for the video files. Select the maximum amount of hard disk space Kestrelvision shall use for the videos.</source>
        <translation>Kestrelvision benötigt Speicherplatz für die Videodateien. Legen Sie fest, wie viel Speicherplatz Kestrelvision höchstens für die Videos verwenden darf.</translation>
    </message>
    <message>
        <source>Kestrelvision deletes the oldest video files if the currently used hard disk space exeeds this amount.</source>
        <translation>Kestrelvision löscht die ältesten Videodateien, wenn der belegte Speicherplatz diesen Wert überschreitet.</translation>
    </message>
    <message>
        <source>Recording &amp;folder:</source>
        <translation>Aufnahme&amp;ordner:</translation>
    </message>
    <message>
        <source>Browse...</source>
        <translation>Durchsuchen …</translation>
    </message>
    <message>
        <source>Record Time</source>
        <translation>Aufnahmezeit</translation>
    </message>
    <message>
        <source>Start:</source>
        <translation>Start:</translation>
    </message>
    <message>
        <source>Stop:</source>
        <translation>Ende:</translation>
    </message>
    <message>
        <source>Play this sound on movement:</source>
        <translation>Bei Bewegung diesen Ton abspielen:</translation>
    </message>
    <message>
        <source>Show programm window on movement.</source>
        <translation>Programmfenster bei Bewegung anzeigen.</translation>
    </message>
    <message>
        <source>at clock time</source>
        <translation>zur Uhrzeit</translation>
    </message>
    <message>
        <source>at sunrise</source>
        <translation>bei Sonnenaufgang</translation>
    </message>
    <message>
        <source>at sunset</source>
        <translation>bei Sonnenuntergang</translation>
    </message>
    <message>
        <source> min</source>
        <translation> min</translation>
    </message>
    <message>
        <source>Minutes before (-) or after (+) the sun&apos;s time</source>
        <translation>Minuten vor (-) oder nach (+) Sonnenaufgang bzw. Sonnenuntergang</translation>
    </message>
    <message>
        <source>Place:</source>
        <translation>Ort:</translation>
    </message>
    <message>
        <source>latitude, e.g. 52.52</source>
        <translation>Breitengrad, z. B. 52.52</translation>
    </message>
    <message>
        <source>longitude, e.g. 13.40</source>
        <translation>Längengrad, z. B. 13.40</translation>
    </message>
    <message>
        <source>Make a &amp;film of each day by itself once the day is over</source>
        <translation>Von jedem &amp;Tag nach seinem Ende einen eigenen Film erstellen</translation>
    </message>
    <message>
        <source> s</source>
        <translation> s</translation>
    </message>
    <message>
        <source>every frame</source>
        <translation>alle Einzelbilder</translation>
    </message>
    <message>
        <source>by frames: busy hours take more of the film</source>
        <translation>nach Einzelbildern: viel Bewegung, mehr Filmzeit</translation>
    </message>
    <message>
        <source>by the clock: the film&apos;s clock runs steadily</source>
        <translation>nach der Uhr: die Zeit im Film läuft gleichmäßig</translation>
    </message>
    <message>
        <source>Remove flicker (brightness jumps)</source>
        <translation>Flackern entfernen (Helligkeitssprünge)</translation>
    </message>
    <message>
        <source>MP4 (H.264), plays everywhere</source>
        <translation>MP4 (H.264), läuft überall</translation>
    </message>
    <message>
        <source>AVI with the recording&apos;s compressor</source>
        <translation>AVI mit dem Kompressor der Aufnahme</translation>
    </message>
    <message>
        <source>&amp;Length:</source>
        <translation>&amp;Länge:</translation>
    </message>
    <message>
        <source>&amp;Pace:</source>
        <translation>Tem&amp;po:</translation>
    </message>
    <message>
        <source>F&amp;ormat:</source>
        <translation>F&amp;ormat:</translation>
    </message>
    <message>
        <source>Films go to the Films folder in the recording folder, named after their day. The Film... button on the Playback page makes a film of any span.</source>
        <translation>Filme werden im Ordner „Films“ im Aufnahmeordner abgelegt und nach ihrem Tag benannt. Die Schaltfläche „Film …“ auf der Seite „Wiedergabe“ erstellt einen Film aus einem beliebigen Zeitraum.</translation>
    </message>
    <message>
        <source>Movement &amp;detector:</source>
        <translation>Bewegungs&amp;erkennung:</translation>
    </message>
    <message>
        <source>Classic</source>
        <translation>Klassisch</translation>
    </message>
    <message>
        <source>Robust</source>
        <translation>Robust</translation>
    </message>
    <message>
        <source>Classic compares single points of two pictures: it notices small changes, but also sensor noise at night, a lamp switched on or clouds. Robust compares the brightness of whole areas, allows for the light changing over the whole picture, waits out a light switch and asks for movement in two pictures in a row. Both use the motion mask and the trigger on the Record page.</source>
        <translation>„Klassisch“ vergleicht einzelne Bildpunkte zweier Bilder: Das Verfahren bemerkt kleine Änderungen, aber auch nächtliches Sensorrauschen, eine eingeschaltete Lampe oder Wolken. „Robust“ vergleicht die Helligkeit ganzer Bereiche, berücksichtigt Lichtänderungen im gesamten Bild, wartet nach dem Schalten eines Lichts ab und verlangt Bewegung in zwei aufeinanderfolgenden Bildern. Beide verwenden die Bewegungsmaske und die Auslöseschwelle auf der Seite „Aufnahme“.</translation>
    </message>
    <message>
        <source>&amp;Heartbeat: while nothing moves, record a frame every</source>
        <translation>&amp;Lebenszeichen: Solange sich nichts bewegt, ein Einzelbild aufnehmen; Intervall:</translation>
    </message>
    <message>
        <source>off</source>
        <translation>aus</translation>
    </message>
    <message>
        <source>Desktop notifications:</source>
        <translation>Desktop-Benachrichtigungen:</translation>
    </message>
    <message>
        <source>Movement &amp;started (with a picture, updated while it lasts)</source>
        <translation>Bewe&amp;gung beginnt (mit Bild, aktualisiert, solange sie andauert)</translation>
    </message>
    <message>
        <source>&amp;Camera lost and back</source>
        <translation>&amp;Kamera ausgefallen und wieder da</translation>
    </message>
    <message>
        <source>Recording stopped by a &amp;write error</source>
        <translation>Aufnahme wegen &amp;Schreibfehler angehalten</translation>
    </message>
    <message>
        <source>Automatic FTP upload:</source>
        <translation>Automatisch per FTP hochladen:</translation>
    </message>
    <message>
        <source>after:</source>
        <translation>nach:</translation>
    </message>
    <message>
        <source>frames</source>
        <translation>Einzelbildern</translation>
    </message>
    <message>
        <source>&amp;Connection:</source>
        <translation>&amp;Verbindung:</translation>
    </message>
    <message>
        <source>&amp;LAN</source>
        <translation>&amp;LAN</translation>
    </message>
    <message>
        <source>&amp;RAS:</source>
        <translation>&amp;RAS:</translation>
    </message>
    <message>
        <source>&amp;only on active connection.</source>
        <translation>&amp;nur bei aktiver Verbindung.</translation>
    </message>
    <message>
        <source>&amp;Ftp:</source>
        <translation>F&amp;TP:</translation>
    </message>
    <message>
        <source>&amp;Host:</source>
        <translation>&amp;Server:</translation>
    </message>
    <message>
        <source>&amp;User:</source>
        <translation>Ben&amp;utzer:</translation>
    </message>
    <message>
        <source>&amp;Password:</source>
        <translation>&amp;Passwort:</translation>
    </message>
    <message>
        <source>Destination:</source>
        <translation>Ziel:</translation>
    </message>
    <message>
        <source>(%1 MB)</source>
        <translation>(%1 MB)</translation>
    </message>
    <message>
        <source>The recording time starts and stops at %1, so nothing would ever be recorded.

Choose a stop time other than the start time, or switch off &quot;Record Time&quot;.</source>
        <translation>Die Aufnahmezeit beginnt und endet um %1, daher würde nie etwas aufgenommen.

Wählen Sie eine andere Endzeit als die Startzeit oder schalten Sie „Aufnahmezeit“ aus.</translation>
    </message>
</context>
<context>
    <name>TForm1</name>
    <message>
        <source>No capture device available.</source>
        <translation>Kein Aufnahmegerät verfügbar.</translation>
    </message>
    <message>
        <source>This instance of Kestrelvision records already without a window (process %1). Stop that recorder to use the window, or start the window as another instance.</source>
        <translation>Diese Instanz von Kestrelvision nimmt bereits ohne Fenster auf (Prozess %1). Beenden Sie diesen Rekorder, um das Fenster zu verwenden, oder starten Sie das Fenster als weitere Instanz.</translation>
    </message>
    <message>
        <source>No tray: close minimises, Ctrl+Q quits</source>
        <translation>Kein Infobereich: Schließen minimiert, Strg+Q beendet</translation>
    </message>
</context>
<context>
    <name>kestrelvision</name>
    <message>
        <source>usage: kestrelvision [/I&lt;suffix&gt;] [/Q] [--camera NAME=URI ...]
       kestrelvision --headless [/I&lt;suffix&gt;] [--camera NAME=URI ...]
       kestrelvision --status [/I&lt;suffix&gt;]
       kestrelvision --analyse FILE [--mask MASK.bmp] [--detector classic|robust]
                     [--trigger N] [--plot OUT.png]
       kestrelvision --film FROM [TO] [--length S | --all] [--pace frames|clock]
                     [--no-deflicker] [--format mp4|avi] [-o FILE]
       kestrelvision --help | --version

A time-lapse and motion recorder: it watches a camera and writes quick-motion AVI
films into the recording folder.

  /I&lt;suffix&gt;          run as instance &lt;suffix&gt;, with settings of its own
  /Q                  start hidden in the tray
  --camera NAME=URI   a camera by URI: test:ball, file:///path/clip.avi,
                      rtsp://host/stream, http://host/video.mjpg
  --headless          record without a window or a display, as a service;
                      SIGTERM ends it, SIGHUP reloads the settings
  --status            print the state of the running recorder of the
                      instance; exit code 3 when none runs
  --analyse FILE      run a video through the movement detector, without a
                      display; the journal lines go to standard output
</source>
        <translation>Aufruf: kestrelvision [/I&lt;Suffix&gt;] [/Q] [--camera NAME=URI ...]
        kestrelvision --headless [/I&lt;Suffix&gt;] [--camera NAME=URI ...]
        kestrelvision --status [/I&lt;Suffix&gt;]
        kestrelvision --analyse DATEI [--mask MASK.bmp] [--detector classic|robust]
                      [--trigger N] [--plot OUT.png]
        kestrelvision --film VON [BIS] [--length S | --all] [--pace frames|clock]
                      [--no-deflicker] [--format mp4|avi] [-o DATEI]
        kestrelvision --help | --version

Ein Zeitraffer- und Bewegungsrekorder: Er beobachtet eine Kamera und schreibt
Zeitraffer-Filme im AVI-Format in den Aufnahmeordner.

  /I&lt;Suffix&gt;          als Instanz &lt;Suffix&gt; mit eigenen Einstellungen starten
  /Q                  versteckt im Infobereich starten
  --camera NAME=URI   eine Kamera per URI: test:ball, file:///path/clip.avi,
                      rtsp://host/stream, http://host/video.mjpg
  --headless          ohne Fenster und ohne Bildschirm als Dienst aufnehmen;
                      SIGTERM beendet, SIGHUP lädt die Einstellungen neu
  --status            den Zustand des laufenden Rekorders der Instanz ausgeben;
                      Exit-Status 3, wenn keiner läuft
  --analyse DATEI     ein Video ohne Bildschirm durch die Bewegungserkennung
                      schicken; die Protokollzeilen gehen an die Standardausgabe
</translation>
    </message>
    <message>
        <source>usage: kestrelvision --analyse FILE [--mask MASK.bmp] [--detector classic|robust] [--trigger N] [--plot OUT.png]</source>
        <translation>Aufruf: kestrelvision --analyse DATEI [--mask MASK.bmp] [--detector classic|robust] [--trigger N] [--plot OUT.png]</translation>
    </message>
    <message>
        <source>unknown option %1</source>
        <translation>unbekannte Option %1</translation>
    </message>
    <message>
        <source>no display to show the window on (DISPLAY is not set); kestrelvision --headless records without one</source>
        <translation>kein Bildschirm zum Anzeigen des Fensters vorhanden (DISPLAY ist nicht gesetzt); kestrelvision --headless nimmt ohne Bildschirm auf</translation>
    </message>
    <message>
        <source>Kestrelvision needs GStreamer 1.22 or higher: 

OK brings you to the GStreamer download page.
</source>
        <translation>Kestrelvision benötigt GStreamer 1.22 oder neuer: 

Mit OK gelangen Sie zur Download-Seite von GStreamer.
</translation>
    </message>
</context>
<context>
    <name>kv::app</name>
    <message>
        <source>the first instance</source>
        <translation>die erste Instanz</translation>
    </message>
    <message>
        <source>instance %1</source>
        <translation>Instanz %1</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Aus</translation>
    </message>
    <message>
        <source>On</source>
        <translation>Ein</translation>
    </message>
    <message>
        <source>On movement</source>
        <translation>Bei Bewegung</translation>
    </message>
    <message>
        <source>the first camera found</source>
        <translation>die erste gefundene Kamera</translation>
    </message>
    <message>
        <source>%1 (the first camera found)</source>
        <translation>%1 (die erste gefundene Kamera)</translation>
    </message>
    <message>
        <source>%1 (not there; the first camera found records meanwhile)</source>
        <translation>%1 (nicht vorhanden; bis dahin nimmt die erste gefundene Kamera auf)</translation>
    </message>
    <message>
        <source>%1 (not there; %2 records meanwhile)</source>
        <translation>%1 (nicht vorhanden; bis dahin nimmt %2 auf)</translation>
    </message>
    <message>
        <source>the whole day (no daily window)</source>
        <translation>ganztägig (kein tägliches Aufnahmefenster)</translation>
    </message>
    <message>
        <source>Kestrelvision, %1, %2, process %3
</source>
        <translation>Kestrelvision, %1, %2, Prozess %3
</translation>
    </message>
    <message>
        <source>headless</source>
        <translation>ohne Fenster</translation>
    </message>
    <message>
        <source>desktop</source>
        <translation>Desktop</translation>
    </message>
    <message>
        <source>  State:          %1
</source>
        <translation>  Zustand:          %1
</translation>
    </message>
    <message>
        <source>  Mode:           %1
</source>
        <translation>  Modus:            %1
</translation>
    </message>
    <message>
        <source>  Camera:         %1
</source>
        <translation>  Kamera:           %1
</translation>
    </message>
    <message>
        <source>  Recording:      %1
</source>
        <translation>  Aufnahme:         %1
</translation>
    </message>
    <message>
        <source>none</source>
        <translation>keine</translation>
    </message>
    <message>
        <source>%1, %2 %3</source>
        <translation>%1, %2 %3</translation>
    </message>
    <message>
        <source>frame</source>
        <translation>Einzelbild</translation>
    </message>
    <message>
        <source>frames</source>
        <translation>Einzelbilder</translation>
    </message>
    <message>
        <source>  Window:         %1
</source>
        <translation>  Aufnahmefenster:  %1
</translation>
    </message>
    <message>
        <source>  Last movement:  %1
</source>
        <translation>  Letzte Bewegung:  %1
</translation>
    </message>
    <message>
        <source>none since the start</source>
        <translation>keine seit dem Start</translation>
    </message>
    <message>
        <source>  Disk:           %1 MB of %2 MB in %3
</source>
        <translation>  Speicherplatz:    %1 MB von %2 MB in %3
</translation>
    </message>
    <message>
        <source>the instance suffix &quot;%1&quot; cannot name an instance&apos;s files: use a letter or a digit, as in /I2</source>
        <translation>das Instanzsuffix „%1“ kann keine Dateien einer Instanz benennen: Verwenden Sie einen Buchstaben oder eine Ziffer, wie in /I2</translation>
    </message>
</context>
<context>
    <name>kv::app::DailyFilmStatus</name>
    <message>
        <source>Filming %1</source>
        <translation>Film vom %1 wird erstellt</translation>
    </message>
    <message>
        <source>Filming %1: %2 %</source>
        <translation>Film vom %1 wird erstellt: %2 %</translation>
    </message>
    <message>
        <source>Film of %1 ready</source>
        <translation>Film vom %1 fertig</translation>
    </message>
    <message>
        <source>No film of %1</source>
        <translation>Kein Film vom %1</translation>
    </message>
</context>
<context>
    <name>kv::app::DayStrip</name>
    <message>
        <source>Reading the day…</source>
        <translation>Tag wird gelesen …</translation>
    </message>
</context>
<context>
    <name>kv::app::DayView</name>
    <message>
        <source>%1 s</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 min %2 s</source>
        <translation>%1 min %2 s</translation>
    </message>
    <message>
        <source>The day before with recordings (Page Up)</source>
        <translation>Vorheriger Tag mit Aufnahmen (Bild aufwärts)</translation>
    </message>
    <message>
        <source>Choose a day; days with recordings are bold</source>
        <translation>Tag auswählen; Tage mit Aufnahmen sind fett</translation>
    </message>
    <message>
        <source>The day after with recordings (Page Down)</source>
        <translation>Nächster Tag mit Aufnahmen (Bild abwärts)</translation>
    </message>
    <message>
        <source>Click the strip to go to a moment; the wheel, or + and - over it, zoom</source>
        <translation>Klicken Sie auf den Streifen, um zu einem Zeitpunkt zu springen; Mausrad oder + und - darüber zoomen</translation>
    </message>
    <message>
        <source>Movements</source>
        <translation>Bewegungen</translation>
    </message>
    <message>
        <source>The day&apos;s movements as thumbnails</source>
        <translation>Die Bewegungen des Tages als Vorschaubilder</translation>
    </message>
    <message>
        <source>Go to time…</source>
        <translation>Zu Uhrzeit springen …</translation>
    </message>
    <message>
        <source>Go to the frame recorded nearest a moment (Ctrl+G)</source>
        <translation>Zum Einzelbild springen, das einem Zeitpunkt am nächsten aufgenommen wurde (Strg+G)</translation>
    </message>
    <message>
        <source>No recordings after this day</source>
        <translation>Keine Aufnahmen nach diesem Tag</translation>
    </message>
    <message>
        <source>No recordings before this day</source>
        <translation>Keine Aufnahmen vor diesem Tag</translation>
    </message>
    <message>
        <source>Nothing recorded</source>
        <translation>Nichts aufgenommen</translation>
    </message>
    <message>
        <source>Go to time</source>
        <translation>Zu Uhrzeit springen</translation>
    </message>
    <message>
        <source>The frame recorded nearest this moment is shown.</source>
        <translation>Angezeigt wird das Einzelbild, das diesem Zeitpunkt am nächsten aufgenommen wurde.</translation>
    </message>
    <message>
        <source>No further movement</source>
        <translation>Keine weitere Bewegung</translation>
    </message>
    <message>
        <source>%1 (and %2 more)</source>
        <translation>%1 (und %2 weitere)</translation>
    </message>
    <message>
        <source>%1, nothing recorded</source>
        <translation>%1, nichts aufgenommen</translation>
    </message>
    <message>
        <source>%1
%2</source>
        <translation>%1
%2</translation>
    </message>
    <message>
        <source>No movement on this day</source>
        <translation>Keine Bewegung an diesem Tag</translation>
    </message>
    <message>
        <source>No day</source>
        <translation>Kein Tag</translation>
    </message>
    <message>
        <source>Reading…</source>
        <translation>Wird gelesen …</translation>
    </message>
    <message>
        <source>1 recording</source>
        <translation>1 Aufnahme</translation>
    </message>
    <message>
        <source>%1 recordings</source>
        <translation>%1 Aufnahmen</translation>
    </message>
    <message>
        <source>1 movement</source>
        <translation>1 Bewegung</translation>
    </message>
    <message>
        <source>%1 movements</source>
        <translation>%1 Bewegungen</translation>
    </message>
</context>
<context>
    <name>kv::app::DesktopNotifications</name>
    <message>
        <source>%1 s</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 min %2 s</source>
        <translation>%1 min %2 s</translation>
    </message>
    <message>
        <source>from 1 recording</source>
        <translation>aus 1 Aufnahme</translation>
    </message>
    <message>
        <source>from %1 recordings</source>
        <translation>aus %1 Aufnahmen</translation>
    </message>
    <message>
        <source>Film of %1 ready</source>
        <translation>Film vom %1 fertig</translation>
    </message>
    <message>
        <source>%1, %2</source>
        <translation>%1, %2</translation>
    </message>
    <message>
        <source>Movement ended</source>
        <translation>Bewegung beendet</translation>
    </message>
    <message>
        <source>%1 to %2: %3</source>
        <translation>%1 bis %2: %3</translation>
    </message>
    <message>
        <source>Movement</source>
        <translation>Bewegung</translation>
    </message>
    <message>
        <source>Since %1: %2</source>
        <translation>Seit %1: %2</translation>
    </message>
    <message>
        <source>1 frame recorded</source>
        <translation>1 Einzelbild aufgenommen</translation>
    </message>
    <message>
        <source>%1 frames recorded</source>
        <translation>%1 Einzelbilder aufgenommen</translation>
    </message>
    <message>
        <source>%1 from %2</source>
        <translation>%1 von %2</translation>
    </message>
    <message>
        <source>Camera lost</source>
        <translation>Kamera ausgefallen</translation>
    </message>
    <message>
        <source>Camera lost: %1</source>
        <comment>the camera&apos;s name</comment>
        <translation>Kamera ausgefallen: %1</translation>
    </message>
    <message>
        <source>Camera back</source>
        <translation>Kamera wieder da</translation>
    </message>
    <message>
        <source>Camera back: %1</source>
        <comment>the camera&apos;s name</comment>
        <translation>Kamera wieder da: %1</translation>
    </message>
    <message>
        <source>Pictures flow again</source>
        <translation>Bildempfang läuft wieder</translation>
    </message>
    <message>
        <source>Recording stopped</source>
        <translation>Aufnahme angehalten</translation>
    </message>
    <message>
        <source>Recording resumed</source>
        <translation>Aufnahme fortgesetzt</translation>
    </message>
    <message>
        <source>Writing again</source>
        <translation>Schreiben läuft wieder</translation>
    </message>
    <message>
        <source>%1 since %2.</source>
        <translation>%1 (seit %2).</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
</context>
<context>
    <name>kv::app::FilmCommand</name>
    <message>
        <source>%1 needs a value</source>
        <translation>%1 benötigt einen Wert</translation>
    </message>
    <message>
        <source>--length takes seconds, 1 to 86400, not %1</source>
        <translation>--length erwartet Sekunden von 1 bis 86400, nicht %1</translation>
    </message>
    <message>
        <source>--pace is frames or clock, not %1</source>
        <translation>--pace ist frames oder clock, nicht %1</translation>
    </message>
    <message>
        <source>--format is mp4 or avi, not %1</source>
        <translation>--format ist mp4 oder avi, nicht %1</translation>
    </message>
    <message>
        <source>unknown option %1</source>
        <translation>unbekannte Option %1</translation>
    </message>
    <message>
        <source>--length and --all exclude each other</source>
        <translation>--length und --all schließen sich gegenseitig aus</translation>
    </message>
    <message>
        <source>the span to film is missing</source>
        <translation>der Zeitraum für den Film fehlt</translation>
    </message>
    <message>
        <source>one span: FROM and TO, not %1</source>
        <translation>nur ein Zeitraum: VON und BIS, nicht %1</translation>
    </message>
    <message>
        <source>%1 is no date (2026-12-08) or date and time (2026-12-08T06:00)</source>
        <translation>%1 ist weder ein Datum (2026-12-08) noch Datum und Uhrzeit (2026-12-08T06:00)</translation>
    </message>
    <message>
        <source>the span ends before it begins</source>
        <translation>der Zeitraum endet, bevor er beginnt</translation>
    </message>
    <message>
        <source>%1 of %2 frames (%3 %)</source>
        <translation>%1 von %2 Einzelbildern (%3 %)</translation>
    </message>
    <message>
        <source>%1 frames, %2 s, from %3 recordings</source>
        <translation>%1 Einzelbilder, %2 s, aus %3 Aufnahmen</translation>
    </message>
    <message>
        <source>usage: kestrelvision --film FROM [TO] [--length S | --all] [--pace frames|clock]
                     [--no-deflicker] [--format mp4|avi] [-o FILE]
</source>
        <translation>Aufruf: kestrelvision --film VON [BIS] [--length S | --all] [--pace frames|clock]
                      [--no-deflicker] [--format mp4|avi] [-o DATEI]
</translation>
    </message>
</context>
<context>
    <name>kv::app::HeadlessRecorder</name>
    <message>
        <source>no recorder of %1 runs</source>
        <translation>für %1 läuft kein Rekorder</translation>
    </message>
</context>
<context>
    <name>kv::app::LivePanel</name>
    <message>
        <source>Paint the mask: the left button ignores cells, the right button (or Shift) watches them. Brush %1 (keys 1, 3, 5); Ctrl+Z undoes.</source>
        <translation>Maske malen: Die linke Maustaste ignoriert Zellen, die rechte (oder Umschalt) überwacht sie. Pinsel %1 (Tasten 1, 3, 5); Strg+Z macht rückgängig.</translation>
    </message>
    <message>
        <source>Record</source>
        <translation>Aufnahme</translation>
    </message>
    <message>
        <source>Pause (no movement)</source>
        <translation>Pause (keine Bewegung)</translation>
    </message>
    <message>
        <source>Off (Live)</source>
        <translation>Aus (Live)</translation>
    </message>
</context>
<context>
    <name>kv::app::PlaybackPage</name>
    <message>
        <source>Loading %1 ...</source>
        <translation>%1 wird geladen …</translation>
    </message>
    <message>
        <source>Frame %1 of %2, %3</source>
        <translation>Einzelbild %1 von %2, %3</translation>
    </message>
    <message>
        <source>No further movement</source>
        <translation>Keine weitere Bewegung</translation>
    </message>
    <message>
        <source>Save Frame:</source>
        <translation>Einzelbild speichern</translation>
    </message>
    <message>
        <source>%1 already exists.
Do you want to replace it?</source>
        <translation>%1 ist bereits vorhanden.
Möchten Sie die Datei ersetzen?</translation>
    </message>
</context>
<context>
    <name>kv::app::RecordPage</name>
    <message>
        <source>, %1 lost</source>
        <translation>, %1 verloren</translation>
    </message>
    <message>
        <source>Recording into %1 stopped: %2

Kestrelvision tries again by itself.</source>
        <translation>Die Aufnahme in %1 wurde angehalten: %2

Kestrelvision versucht es selbstständig erneut.</translation>
    </message>
</context>
<context>
    <name>kv::app::SettingsStore</name>
    <message>
        <source>The settings could not be saved to &quot;%1&quot;: %2.</source>
        <translation>Die Einstellungen konnten nicht in „%1“ gespeichert werden: %2.</translation>
    </message>
    <message>
        <source>the file could not be used and no copy of it can be made</source>
        <translation>die Datei war unbrauchbar und es kann keine Kopie davon erstellt werden</translation>
    </message>
    <message>
        <source>the unusable file cannot be replaced</source>
        <translation>die unbrauchbare Datei kann nicht ersetzt werden</translation>
    </message>
    <message>
        <source>the file cannot be read</source>
        <translation>die Datei kann nicht gelesen werden</translation>
    </message>
    <message>
        <source>the file cannot be written</source>
        <translation>die Datei kann nicht geschrieben werden</translation>
    </message>
    <message>
        <source>the file cannot be parsed</source>
        <translation>die Datei kann nicht ausgewertet werden</translation>
    </message>
    <message>
        <source>its access cannot be limited to its owner</source>
        <translation>der Zugriff darauf kann nicht auf den Eigentümer beschränkt werden</translation>
    </message>
    <message>
        <source>its folder &quot;%1&quot; cannot be created</source>
        <translation>der Ordner „%1“ dafür kann nicht erstellt werden</translation>
    </message>
    <message>
        <source>it is not a regular file</source>
        <translation>es handelt sich nicht um eine reguläre Datei</translation>
    </message>
</context>
<context>
    <name>kv::app::TrayState</name>
    <message>
        <source>Recording off</source>
        <translation>Aufnahme aus</translation>
    </message>
    <message>
        <source>Recording</source>
        <translation>Aufnahme läuft</translation>
    </message>
    <message>
        <source>Recording on movement</source>
        <translation>Aufnahme bei Bewegung</translation>
    </message>
    <message>
        <source>1 frame</source>
        <translation>1 Einzelbild</translation>
    </message>
    <message>
        <source>%1 frames</source>
        <translation>%1 Einzelbilder</translation>
    </message>
    <message>
        <source>%1, %2, %3</source>
        <comment>mode, file, frames</comment>
        <translation>%1, %2, %3</translation>
    </message>
</context>
<context>
    <name>kv::capture::CaptureGraph</name>
    <message>
        <source>the camera ended its stream</source>
        <translation>die Kamera hat ihren Stream beendet</translation>
    </message>
    <message>
        <source>camera error</source>
        <translation>Kamerafehler</translation>
    </message>
    <message>
        <source>the camera&apos;s picture of %1 x %2 pixels is larger than %3 pixels a side</source>
        <translation>das Kamerabild mit %1 x %2 Pixeln ist größer als %3 Pixel je Seite</translation>
    </message>
</context>
<context>
    <name>kv::dialogs::AddCameraDialog</name>
    <message>
        <source>Add camera</source>
        <translation>Kamera hinzufügen</translation>
    </message>
    <message>
        <source>e.g. Garden</source>
        <translation>z. B. Garten</translation>
    </message>
    <message>
        <source>rtsp://, http://, file:// or a file</source>
        <translation>rtsp://, http://, file:// oder eine Datei</translation>
    </message>
    <message>
        <source>&amp;Browse...</source>
        <translation>&amp;Durchsuchen...</translation>
    </message>
    <message>
        <source>&amp;Test</source>
        <translation>&amp;Testen</translation>
    </message>
    <message>
        <source>&amp;Name:</source>
        <translation>&amp;Name:</translation>
    </message>
    <message>
        <source>&amp;Address:</source>
        <translation>&amp;Adresse:</translation>
    </message>
    <message>
        <source>&amp;User:</source>
        <translation>&amp;Benutzer:</translation>
    </message>
    <message>
        <source>&amp;Password:</source>
        <translation>&amp;Passwort:</translation>
    </message>
    <message>
        <source>Video file</source>
        <translation>Videodatei</translation>
    </message>
    <message>
        <source>Video files (*.avi *.mp4 *.mkv *.mov *.webm *.mjpeg)</source>
        <translation>Videodateien (*.avi *.mp4 *.mkv *.mov *.webm *.mjpeg)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Works: %1 x %2 pixels</source>
        <translation>Funktioniert: %1 x %2 Pixel</translation>
    </message>
    <message>
        <source>The address cannot be used: %1.</source>
        <translation>Die Adresse kann nicht verwendet werden: %1.</translation>
    </message>
    <message>
        <source>Testing...</source>
        <translation>Wird getestet...</translation>
    </message>
    <message>
        <source>The camera needs an address.</source>
        <translation>Die Kamera benötigt eine Adresse.</translation>
    </message>
</context>
<context>
    <name>kv::dialogs::CameraSettingsDialog</name>
    <message>
        <source>Camera settings - %1</source>
        <translation>Kameraeinstellungen - %1</translation>
    </message>
    <message>
        <source>&amp;Defaults</source>
        <translation>&amp;Standardwerte</translation>
    </message>
    <message>
        <source>Reading the camera&apos;s settings...</source>
        <translation>Die Einstellungen der Kamera werden gelesen...</translation>
    </message>
    <message>
        <source>The camera does not answer.</source>
        <translation>Die Kamera antwortet nicht.</translation>
    </message>
    <message>
        <source>This camera has nothing to adjust.</source>
        <translation>Diese Kamera bietet nichts zum Einstellen.</translation>
    </message>
    <message>
        <source>These settings take effect when the camera starts again, which closing the camera dialog does.</source>
        <translation>Diese Einstellungen werden wirksam, wenn die Kamera neu startet; das geschieht beim Schließen des Kameradialogs.</translation>
    </message>
    <message>
        <source> ms</source>
        <translation> ms</translation>
    </message>
    <message>
        <source>How long the camera&apos;s stream is held to even out the network; less is closer to live, more rides out a slow network.</source>
        <translation>Wie lange der Stream der Kamera gepuffert wird, um Schwankungen im Netzwerk auszugleichen; weniger ist näher am Livebild, mehr überbrückt ein langsames Netzwerk.</translation>
    </message>
    <message>
        <source>Automatic</source>
        <translation>Automatisch</translation>
    </message>
    <message>
        <source>TCP only</source>
        <translation>Nur TCP</translation>
    </message>
    <message>
        <source>UDP only</source>
        <translation>Nur UDP</translation>
    </message>
    <message>
        <source>&amp;Latency:</source>
        <translation>&amp;Latenz:</translation>
    </message>
    <message>
        <source>&amp;Transport:</source>
        <translation>&amp;Transport:</translation>
    </message>
    <message>
        <source>Changes are set at once and kept for this camera.</source>
        <translation>Änderungen werden sofort übernommen und für diese Kamera gespeichert.</translation>
    </message>
    <message>
        <source>Default: %1</source>
        <translation>Standard: %1</translation>
    </message>
    <message>
        <source>%1 cannot be set: %2</source>
        <translation>%1 kann nicht eingestellt werden: %2</translation>
    </message>
</context>
<context>
    <name>kv::dialogs::FilmDialog</name>
    <message>
        <source>%1 s</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 min %2 s</source>
        <translation>%1 min %2 s</translation>
    </message>
    <message>
        <source>%1 h %2 min</source>
        <translation>%1 h %2 min</translation>
    </message>
    <message>
        <source>Film</source>
        <translation>Film</translation>
    </message>
    <message>
        <source> s</source>
        <translation> s</translation>
    </message>
    <message>
        <source>All frames</source>
        <translation>Alle Einzelbilder</translation>
    </message>
    <message>
        <source>Frames: busy hours take more of the film</source>
        <translation>Einzelbilder: viel Bewegung, mehr Filmzeit</translation>
    </message>
    <message>
        <source>Clock: the film&apos;s clock runs steadily</source>
        <translation>Uhr: die Zeit im Film läuft gleichmäßig</translation>
    </message>
    <message>
        <source>Remove flicker</source>
        <translation>Flackern entfernen</translation>
    </message>
    <message>
        <source>MP4 (H.264), plays everywhere</source>
        <translation>MP4 (H.264), überall abspielbar</translation>
    </message>
    <message>
        <source>AVI with the recordings&apos; compressor</source>
        <translation>AVI mit dem Kompressor der Aufnahmen</translation>
    </message>
    <message>
        <source>From:</source>
        <translation>Von:</translation>
    </message>
    <message>
        <source>To:</source>
        <translation>Bis:</translation>
    </message>
    <message>
        <source>Length:</source>
        <translation>Länge:</translation>
    </message>
    <message>
        <source>Pace:</source>
        <translation>Tempo:</translation>
    </message>
    <message>
        <source>Format:</source>
        <translation>Format:</translation>
    </message>
    <message>
        <source>Film:</source>
        <translation>Film:</translation>
    </message>
    <message>
        <source>About 59 min 59 s left</source>
        <translation>Noch etwa 59 min 59 s</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Starten</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Abspielen</translation>
    </message>
    <message>
        <source>Show in folder</source>
        <translation>Im Ordner anzeigen</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>The end lies before the start</source>
        <translation>Das Ende liegt vor dem Anfang</translation>
    </message>
    <message>
        <source>Reading the recordings...</source>
        <translation>Die Aufnahmen werden gelesen...</translation>
    </message>
    <message>
        <source>Almost done</source>
        <translation>Fast fertig</translation>
    </message>
    <message>
        <source>About %1 left</source>
        <translation>Noch etwa %1</translation>
    </message>
    <message>
        <source>from 1 recording</source>
        <translation>aus 1 Aufnahme</translation>
    </message>
    <message>
        <source>from %1 recordings</source>
        <translation>aus %1 Aufnahmen</translation>
    </message>
    <message>
        <source>%1 made: %2, %3.</source>
        <translation>%1 erstellt: %2, %3.</translation>
    </message>
    <message>
        <source>Cancelled; no film was made.</source>
        <translation>Abgebrochen; es wurde kein Film erstellt.</translation>
    </message>
</context>
<context>
    <name>kv::dialogs::PropertyDialog</name>
    <message>
        <source>(none)</source>
        <translation>(keine)</translation>
    </message>
    <message>
        <source>Colour balance</source>
        <translation>Farbbalance</translation>
    </message>
</context>
<context>
    <name>kv::dialogs::ShortcutsDialog</name>
    <message>
        <source>Show this list of keys</source>
        <translation>Diese Tastenliste anzeigen</translation>
    </message>
    <message>
        <source>Quit Kestrelvision</source>
        <translation>Kestrelvision beenden</translation>
    </message>
    <message>
        <source>Select the camera</source>
        <translation>Kamera auswählen</translation>
    </message>
    <message>
        <source>Left button</source>
        <translation>Linke Maustaste</translation>
    </message>
    <message>
        <source>Paint cells that are ignored</source>
        <translation>Zellen malen, die ignoriert werden</translation>
    </message>
    <message>
        <source>Right button or Shift+left button</source>
        <translation>Rechte Maustaste oder Umschalt+linke Maustaste</translation>
    </message>
    <message>
        <source>Paint cells that are watched again</source>
        <translation>Zellen malen, die wieder überwacht werden</translation>
    </message>
    <message>
        <source>Brush of 1, 3 or 5 cells</source>
        <translation>Pinsel mit 1, 3 oder 5 Zellen</translation>
    </message>
    <message>
        <source>Undo the last stroke</source>
        <translation>Letzten Pinselstrich rückgängig machen</translation>
    </message>
    <message>
        <source>Play or stop</source>
        <translation>Abspielen oder anhalten</translation>
    </message>
    <message>
        <source>Previous or next frame</source>
        <translation>Vorheriges oder nächstes Einzelbild</translation>
    </message>
    <message>
        <source>Previous or next start of a movement</source>
        <translation>Vorheriger oder nächster Beginn einer Bewegung</translation>
    </message>
    <message>
        <source>Play faster or slower (1x to 16x)</source>
        <translation>Schneller oder langsamer abspielen (1x bis 16x)</translation>
    </message>
    <message>
        <source>Go to a time of the day</source>
        <translation>Zu einer Uhrzeit des Tages springen</translation>
    </message>
    <message>
        <source>Previous or next day with recordings</source>
        <translation>Vorheriger oder nächster Tag mit Aufnahmen</translation>
    </message>
    <message>
        <source>Click</source>
        <translation>Klick</translation>
    </message>
    <message>
        <source>Show the window</source>
        <translation>Fenster anzeigen</translation>
    </message>
    <message>
        <source>Double click</source>
        <translation>Doppelklick</translation>
    </message>
    <message>
        <source>Show the window on the Record page</source>
        <translation>Fenster mit der Seite „Aufnahme“ anzeigen</translation>
    </message>
    <message>
        <source>Right click</source>
        <translation>Rechtsklick</translation>
    </message>
    <message>
        <source>Menu: Show, Quit</source>
        <translation>Menü: Anzeigen, Beenden</translation>
    </message>
    <message>
        <source> or </source>
        <comment>between two keys</comment>
        <translation> oder </translation>
    </message>
    <message>
        <source>Every page</source>
        <translation>Alle Seiten</translation>
    </message>
    <message>
        <source>Record page</source>
        <translation>Seite „Aufnahme“</translation>
    </message>
    <message>
        <source>Mask (Show Mask in the live picture&apos;s menu)</source>
        <translation>Maske („Maske anzeigen“ im Menü des Livebilds)</translation>
    </message>
    <message>
        <source>Playback page</source>
        <translation>Seite „Wiedergabe“</translation>
    </message>
    <message>
        <source>Tray icon</source>
        <translation>Symbol im Infobereich</translation>
    </message>
    <message>
        <source>Keyboard shortcuts</source>
        <translation>Tastenkürzel</translation>
    </message>
    <message>
        <source>Key</source>
        <translation>Taste</translation>
    </message>
    <message>
        <source>Action</source>
        <translation>Aktion</translation>
    </message>
</context>
<context>
    <name>kv::film::ChunkDecoder</name>
    <message>
        <source>GStreamer cannot make a pipeline</source>
        <translation>GStreamer kann keine Pipeline erstellen</translation>
    </message>
    <message>
        <source>GStreamer lacks an element to decode recordings</source>
        <translation>GStreamer fehlt ein Element zum Dekodieren der Aufnahmen</translation>
    </message>
    <message>
        <source>cannot link the decoding pipeline</source>
        <translation>die Dekodier-Pipeline kann nicht verknüpft werden</translation>
    </message>
    <message>
        <source>the decoding pipeline does not start</source>
        <translation>die Dekodier-Pipeline startet nicht</translation>
    </message>
    <message>
        <source>out of memory for a frame of %1 bytes</source>
        <translation>nicht genug Speicher für ein Einzelbild mit %1 Bytes</translation>
    </message>
    <message>
        <source>a frame cannot be read: %1</source>
        <translation>ein Einzelbild kann nicht gelesen werden: %1</translation>
    </message>
    <message>
        <source>cut short</source>
        <translation>unvollständig</translation>
    </message>
    <message>
        <source>the decoder refused a frame</source>
        <translation>der Decoder hat ein Einzelbild abgelehnt</translation>
    </message>
    <message>
        <source>the decoder gave no frame for 30 s</source>
        <translation>der Decoder hat 30 s lang kein Einzelbild geliefert</translation>
    </message>
    <message>
        <source>the decoder gave frames of no known format</source>
        <translation>der Decoder hat Einzelbilder in einem unbekannten Format geliefert</translation>
    </message>
</context>
<context>
    <name>kv::film::DailyFilm</name>
    <message>
        <source>cannot rename %1: %2</source>
        <translation>%1 kann nicht umbenannt werden: %2</translation>
    </message>
    <message>
        <source>no free name for %1</source>
        <translation>kein freier Name für %1</translation>
    </message>
    <message>
        <source>cannot make the folder %1</source>
        <translation>der Ordner %1 kann nicht angelegt werden</translation>
    </message>
</context>
<context>
    <name>kv::film::FilmMaker</name>
    <message>
        <source>cannot create %1: %2</source>
        <translation>%1 kann nicht erstellt werden: %2</translation>
    </message>
    <message>
        <source>no free name for %1</source>
        <translation>kein freier Name für %1</translation>
    </message>
    <message>
        <source>cannot make the folder %1: %2</source>
        <translation>der Ordner %1 kann nicht angelegt werden: %2</translation>
    </message>
    <message>
        <source>%1 is not a folder</source>
        <translation>%1 ist kein Ordner</translation>
    </message>
    <message>
        <source>GStreamer cannot make a pipeline</source>
        <translation>GStreamer kann keine Pipeline erstellen</translation>
    </message>
    <message>
        <source>MP4 films need x264enc and mp4mux (gstreamer1.0-plugins-ugly and -good)</source>
        <translation>MP4-Filme benötigen x264enc und mp4mux (gstreamer1.0-plugins-ugly und -good)</translation>
    </message>
    <message>
        <source>the compressor %1 is not installed</source>
        <translation>der Kompressor %1 ist nicht installiert</translation>
    </message>
    <message>
        <source>GStreamer lacks appsrc or fdsink</source>
        <translation>GStreamer fehlt appsrc oder fdsink</translation>
    </message>
    <message>
        <source>cannot link %1 in the film&apos;s pipeline</source>
        <translation>%1 kann in der Pipeline des Films nicht verknüpft werden</translation>
    </message>
    <message>
        <source>the film&apos;s pipeline does not start</source>
        <translation>die Pipeline des Films startet nicht</translation>
    </message>
    <message>
        <source>the encoder took no frame for 30 s</source>
        <translation>der Encoder hat 30 s lang kein Einzelbild angenommen</translation>
    </message>
    <message>
        <source>the encoder refused a frame</source>
        <translation>der Encoder hat ein Einzelbild abgelehnt</translation>
    </message>
    <message>
        <source>the film was not finished within 120 s</source>
        <translation>der Film wurde nicht innerhalb von 120 s fertiggestellt</translation>
    </message>
    <message>
        <source>the span&apos;s end lies before its start</source>
        <translation>das Ende des Zeitraums liegt vor seinem Anfang</translation>
    </message>
    <message>
        <source>nothing was recorded from %1 to %2</source>
        <translation>von %1 bis %2 wurde nichts aufgenommen</translation>
    </message>
    <message>
        <source>no decoder knows %1</source>
        <translation>kein Decoder kennt %1</translation>
    </message>
    <message>
        <source>%1 could not be read to the end: %2</source>
        <translation>%1 konnte nicht bis zum Ende gelesen werden: %2</translation>
    </message>
    <message>
        <source>cancelled</source>
        <translation>abgebrochen</translation>
    </message>
    <message>
        <source>%1 not made: %2</source>
        <translation>%1 nicht erstellt: %2</translation>
    </message>
    <message>
        <source>%1 frames could not be decoded; the film holds the frame before each</source>
        <translation>%1 Einzelbilder konnten nicht dekodiert werden; der Film zeigt an ihrer Stelle jeweils das vorherige Einzelbild</translation>
    </message>
</context>
<context>
    <name>kv::film::Span</name>
    <message>
        <source>no whole frame</source>
        <translation>kein vollständiges Einzelbild</translation>
    </message>
    <message>
        <source>%1 skipped: %2</source>
        <translation>%1 übersprungen: %2</translation>
    </message>
    <message>
        <source>gone meanwhile</source>
        <translation>inzwischen nicht mehr vorhanden</translation>
    </message>
</context>
<context>
    <name>kv::media::CameraControls</name>
    <message>
        <source>Brightness</source>
        <translation>Helligkeit</translation>
    </message>
    <message>
        <source>Contrast</source>
        <translation>Kontrast</translation>
    </message>
    <message>
        <source>Saturation</source>
        <translation>Sättigung</translation>
    </message>
    <message>
        <source>Exposure</source>
        <translation>Belichtung</translation>
    </message>
    <message>
        <source>Exposure time (0.1 ms)</source>
        <translation>Belichtungszeit (0,1 ms)</translation>
    </message>
    <message>
        <source>Automatic gain</source>
        <translation>Automatische Verstärkung</translation>
    </message>
    <message>
        <source>Gain</source>
        <translation>Verstärkung</translation>
    </message>
    <message>
        <source>Automatic white balance</source>
        <translation>Automatischer Weißabgleich</translation>
    </message>
    <message>
        <source>White balance (K)</source>
        <translation>Weißabgleich (K)</translation>
    </message>
    <message>
        <source>Automatic focus</source>
        <translation>Autofokus</translation>
    </message>
    <message>
        <source>Focus</source>
        <translation>Fokus</translation>
    </message>
    <message>
        <source>Power-line frequency</source>
        <translation>Netzfrequenz</translation>
    </message>
    <message>
        <source>%1 is not a device</source>
        <translation>%1 ist kein Gerät</translation>
    </message>
    <message>
        <source>The camera offers none of the usual controls.</source>
        <translation>Die Kamera bietet keine der üblichen Einstellungen.</translation>
    </message>
</context>
<context>
    <name>kv::media::CameraProbe</name>
    <message>
        <source>The address cannot be used: %1.</source>
        <translation>Die Adresse kann nicht verwendet werden: %1.</translation>
    </message>
    <message>
        <source>The camera cannot be built.</source>
        <translation>Die Kamera kann nicht eingerichtet werden.</translation>
    </message>
    <message>
        <source>The camera gives no video.</source>
        <translation>Die Kamera liefert kein Video.</translation>
    </message>
    <message>
        <source>The camera gave no picture within %1 s.</source>
        <translation>Die Kamera hat innerhalb von %1 s kein Bild geliefert.</translation>
    </message>
    <message>
        <source>The camera ended its stream at once.</source>
        <translation>Die Kamera hat ihren Stream sofort beendet.</translation>
    </message>
    <message>
        <source>The camera did not answer within %1 s.</source>
        <translation>Die Kamera hat nicht innerhalb von %1 s geantwortet.</translation>
    </message>
</context>
<context>
    <name>kv::media::CameraSettings</name>
    <message>
        <source>the settings file &quot;%1&quot; cannot be read</source>
        <translation>die Einstellungsdatei „%1“ kann nicht gelesen werden</translation>
    </message>
    <message>
        <source>the settings file &quot;%1&quot; cannot be written</source>
        <translation>die Einstellungsdatei „%1“ kann nicht geschrieben werden</translation>
    </message>
    <message>
        <source>The camera needs a name.</source>
        <translation>Die Kamera benötigt einen Namen.</translation>
    </message>
    <message>
        <source>A camera&apos;s name cannot hold the character %1.</source>
        <translation>Der Name einer Kamera darf das Zeichen %1 nicht enthalten.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; cannot be a camera&apos;s name.</source>
        <translation>„%1“ kann kein Kameraname sein.</translation>
    </message>
    <message>
        <source>There is a camera named &quot;%1&quot; already.</source>
        <translation>Es gibt bereits eine Kamera namens „%1“.</translation>
    </message>
    <message>
        <source>The address cannot be used: %1.</source>
        <translation>Die Adresse kann nicht verwendet werden: %1.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a camera of the settings file.</source>
        <translation>„%1“ ist keine Kamera aus der Einstellungsdatei.</translation>
    </message>
    <message>
        <source>the settings file &quot;%1&quot; is a link</source>
        <translation>die Einstellungsdatei „%1“ ist eine Verknüpfung</translation>
    </message>
    <message>
        <source>the folder &quot;%1&quot; cannot be made</source>
        <translation>der Ordner „%1“ kann nicht angelegt werden</translation>
    </message>
    <message>
        <source>the settings file &quot;%1&quot; is not a regular file</source>
        <translation>die Einstellungsdatei „%1“ ist keine reguläre Datei</translation>
    </message>
    <message>
        <source>the settings file &quot;%1&quot; cannot be made private</source>
        <translation>die Einstellungsdatei „%1“ kann nicht vor dem Zugriff anderer geschützt werden</translation>
    </message>
</context>
<context>
    <name>kv::media::UriCamera</name>
    <message>
        <source>the file did not show its picture size within %1 s</source>
        <translation>die Datei hat ihre Bildgröße nicht innerhalb von %1 s angegeben</translation>
    </message>
    <message>
        <source>the camera file is a FIFO, not a regular file</source>
        <translation>die Kameradatei ist ein FIFO, keine reguläre Datei</translation>
    </message>
    <message>
        <source>the camera file is a folder, not a regular file</source>
        <translation>die Kameradatei ist ein Ordner, keine reguläre Datei</translation>
    </message>
    <message>
        <source>the camera file is not a regular file</source>
        <translation>die Kameradatei ist keine reguläre Datei</translation>
    </message>
    <message>
        <source>the camera file: %1</source>
        <translation>die Kameradatei: %1</translation>
    </message>
</context>
<context>
    <name>kv::playback::FrameExport</name>
    <message>
        <source>Cannot write %1: %2</source>
        <translation>%1 kann nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>Cannot write %1: filter %2 is no image format.</source>
        <translation>%1 kann nicht geschrieben werden: Der Filter %2 ist kein Bildformat.</translation>
    </message>
    <message>
        <source>Cannot save the frame: no file name was given.</source>
        <translation>Das Einzelbild kann nicht gespeichert werden: Es wurde kein Dateiname angegeben.</translation>
    </message>
    <message>
        <source>Cannot write %1: there is no frame to save.</source>
        <translation>%1 kann nicht geschrieben werden: Es gibt kein Einzelbild zum Speichern.</translation>
    </message>
    <message>
        <source>Kestrelvision: %1, frame %2, %3</source>
        <translation>Kestrelvision: %1, Einzelbild %2, %3</translation>
    </message>
    <message>
        <source>Cannot print: there is no frame to print.</source>
        <translation>Drucken nicht möglich: Es gibt kein Einzelbild zum Drucken.</translation>
    </message>
    <message>
        <source>Kestrelvision Frame</source>
        <translation>Kestrelvision-Einzelbild</translation>
    </message>
    <message>
        <source>Cannot print on %1: the print job could not be started.</source>
        <translation>Drucken auf %1 nicht möglich: Der Druckauftrag konnte nicht gestartet werden.</translation>
    </message>
    <message>
        <source>the default printer</source>
        <translation>dem Standarddrucker</translation>
    </message>
    <message>
        <source>Printing on %1 was aborted.</source>
        <translation>Das Drucken auf %1 wurde abgebrochen.</translation>
    </message>
    <message>
        <source>Printing on %1 failed.</source>
        <translation>Das Drucken auf %1 ist fehlgeschlagen.</translation>
    </message>
    <message>
        <source>No printer is installed.</source>
        <translation>Es ist kein Drucker installiert.</translation>
    </message>
    <message>
        <source>No default printer is set.</source>
        <translation>Es ist kein Standarddrucker eingestellt.</translation>
    </message>
    <message>
        <source>Cannot write %1: %2 bits per pixel is not an indexed depth.</source>
        <translation>%1 kann nicht geschrieben werden: %2 Bit pro Pixel ist keine indizierte Farbtiefe.</translation>
    </message>
    <message>
        <source>Cannot write %1: there is no image.</source>
        <translation>%1 kann nicht geschrieben werden: Es gibt kein Bild.</translation>
    </message>
    <message>
        <source>Cannot write %1: the image has no colour table.</source>
        <translation>%1 kann nicht geschrieben werden: Das Bild hat keine Farbtabelle.</translation>
    </message>
    <message>
        <source>Cannot write %1: %2 colours do not fit in %3 bits per pixel.</source>
        <translation>%1 kann nicht geschrieben werden: %2 Farben passen nicht in %3 Bit pro Pixel.</translation>
    </message>
    <message>
        <source>Cannot write %1: pixel (%2, %3) has no colour.</source>
        <translation>%1 kann nicht geschrieben werden: Pixel (%2, %3) hat keine Farbe.</translation>
    </message>
    <message>
        <source>Cannot write %1: the image is too large for a bitmap file.</source>
        <translation>%1 kann nicht geschrieben werden: Das Bild ist zu groß für eine Bitmap-Datei.</translation>
    </message>
</context>
<context>
    <name>kv::playback::PlaybackGraph</name>
    <message>
        <source>Error loading video file.</source>
        <translation>Fehler beim Laden der Videodatei.</translation>
    </message>
    <message>
        <source>Error loading videofile. (codec not installed ?)</source>
        <translation>Fehler beim Laden der Videodatei. (Codec nicht installiert?)</translation>
    </message>
    <message>
        <source>%1: %2 Frames</source>
        <translation>%1: %2 Einzelbilder</translation>
    </message>
</context>
<context>
    <name>kv::record::RecordGraph</name>
    <message>
        <source>Video compressor not available. (0x%1).</source>
        <translation>Videokompressor nicht verfügbar. (0x%1).</translation>
    </message>
    <message>
        <source>the recording folder is gone</source>
        <translation>der Aufnahmeordner ist nicht mehr vorhanden</translation>
    </message>
    <message>
        <source>the recording file was deleted</source>
        <translation>die Aufnahmedatei wurde gelöscht</translation>
    </message>
</context>
<context>
    <name>kv::review::DayActivity</name>
    <message>
        <source>%1 skipped: %2</source>
        <translation>%1 übersprungen: %2</translation>
    </message>
    <message>
        <source>no whole frame</source>
        <translation>kein vollständiges Einzelbild</translation>
    </message>
    <message>
        <source>gone meanwhile</source>
        <translation>inzwischen nicht mehr vorhanden</translation>
    </message>
    <message>
        <source>%1: its journal cannot be read; shown from its file times</source>
        <translation>%1: das Protokoll kann nicht gelesen werden; angezeigt nach den Dateizeiten</translation>
    </message>
    <message>
        <source>%1: %2 damaged journal lines skipped</source>
        <translation>%1: %2 beschädigte Protokollzeilen übersprungen</translation>
    </message>
</context>
<context>
    <name>kv::review::FramePictures</name>
    <message>
        <source>the frame is cut short</source>
        <translation>das Einzelbild ist unvollständig</translation>
    </message>
    <message>
        <source>the frame cannot be decoded: %1</source>
        <translation>das Einzelbild kann nicht dekodiert werden: %1</translation>
    </message>
    <message>
        <source>no decoder knows %1</source>
        <translation>kein Decoder kennt %1</translation>
    </message>
    <message>
        <source>the decoder gave no picture for frame %1</source>
        <translation>der Decoder hat für Einzelbild %1 kein Bild geliefert</translation>
    </message>
    <message>
        <source>the recording has no frame %1</source>
        <translation>die Aufnahme hat kein Einzelbild %1</translation>
    </message>
</context>
<context>
    <name>kv::session::DailyWindow</name>
    <message>
        <source>sunrise</source>
        <translation>Sonnenaufgang</translation>
    </message>
    <message>
        <source>sunset</source>
        <translation>Sonnenuntergang</translation>
    </message>
    <message>
        <source>clock time</source>
        <translation>Uhrzeit</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1 min</translation>
    </message>
    <message>
        <source>Window: %1</source>
        <translation>Aufnahmefenster: %1</translation>
    </message>
    <message>
        <source>never (%1)</source>
        <translation>nie (%1)</translation>
    </message>
    <message>
        <source>today the whole day (%1)</source>
        <translation>heute den ganzen Tag (%1)</translation>
    </message>
    <message>
        <source>today nothing (%1)</source>
        <translation>heute nichts (%1)</translation>
    </message>
    <message>
        <source>the whole day (%1)</source>
        <translation>den ganzen Tag (%1)</translation>
    </message>
    <message>
        <source>nothing today (%1)</source>
        <translation>heute nichts (%1)</translation>
    </message>
    <message>
        <source>Each end of the recording window is at clock time, sunrise or sunset.</source>
        <translation>Jedes Ende des Aufnahmefensters richtet sich nach der Uhrzeit, dem Sonnenaufgang oder dem Sonnenuntergang.</translation>
    </message>
    <message>
        <source>An offset from sunrise or sunset is between -180 and 180 minutes.</source>
        <translation>Ein Versatz zu Sonnenaufgang oder Sonnenuntergang liegt zwischen -180 und 180 Minuten.</translation>
    </message>
    <message>
        <source>The latitude is between -90 and 90 degrees (north positive).</source>
        <translation>Die geografische Breite liegt zwischen -90 und 90 Grad (Norden positiv).</translation>
    </message>
    <message>
        <source>The longitude is between -180 and 180 degrees (east positive).</source>
        <translation>Die geografische Länge liegt zwischen -180 und 180 Grad (Osten positiv).</translation>
    </message>
    <message>
        <source>Sunrise and sunset need the place: enter its latitude and longitude.</source>
        <translation>Sonnenaufgang und Sonnenuntergang benötigen den Ort: Geben Sie dessen Breite und Länge ein.</translation>
    </message>
    <message>
        <source>The recording window starts when it stops, so it would never record.</source>
        <translation>Das Aufnahmefenster beginnt zur selben Zeit, zu der es endet; so würde nie etwas aufgenommen.</translation>
    </message>
    <message>
        <source>%1 to %2</source>
        <translation>%1 bis %2</translation>
    </message>
    <message>
        <source>polar day</source>
        <translation>Polartag</translation>
    </message>
    <message>
        <source>The sun does not set today (polar day): the window is the whole day.</source>
        <translation>Die Sonne geht heute nicht unter (Polartag): Das Aufnahmefenster umfasst den ganzen Tag.</translation>
    </message>
    <message>
        <source>The sun does not set today (polar day): nothing is recorded.</source>
        <translation>Die Sonne geht heute nicht unter (Polartag): Es wird nichts aufgenommen.</translation>
    </message>
    <message>
        <source>polar night</source>
        <translation>Polarnacht</translation>
    </message>
    <message>
        <source>The sun does not rise today (polar night): the window is the whole day.</source>
        <translation>Die Sonne geht heute nicht auf (Polarnacht): Das Aufnahmefenster umfasst den ganzen Tag.</translation>
    </message>
    <message>
        <source>The sun does not rise today (polar night): nothing is recorded.</source>
        <translation>Die Sonne geht heute nicht auf (Polarnacht): Es wird nichts aufgenommen.</translation>
    </message>
    <message>
        <source>offsets</source>
        <translation>Versätze</translation>
    </message>
    <message>
        <source>The offsets leave no time in the window today: nothing is recorded.</source>
        <translation>Die Versätze lassen heute keine Zeit im Aufnahmefenster: Es wird nichts aufgenommen.</translation>
    </message>
    <message>
        <source>The offsets make the window longer than the day: the window is the whole day.</source>
        <translation>Die Versätze machen das Aufnahmefenster länger als den Tag: Es umfasst den ganzen Tag.</translation>
    </message>
    <message>
        <source>today %1 - %2</source>
        <translation>heute %1 - %2</translation>
    </message>
    <message>
        <source>%1 to %2 (%3)</source>
        <translation>%1 bis %2 (%3)</translation>
    </message>
</context>
<context>
    <name>kv::session::FootageAnalysis</name>
    <message>
        <source>kestrelvision: cannot write %1: %2
</source>
        <translation>kestrelvision: %1 kann nicht geschrieben werden: %2
</translation>
    </message>
    <message>
        <source>kestrelvision: cannot read the mask %1
</source>
        <translation>kestrelvision: die Maske %1 kann nicht gelesen werden
</translation>
    </message>
    <message>
        <source>%1 of %2 frames (%3 %)
</source>
        <translation>%1 von %2 Einzelbildern (%3 %)
</translation>
    </message>
    <message>
        <source>%1 frames
</source>
        <translation>%1 Einzelbilder
</translation>
    </message>
    <message>
        <source>kestrelvision: no frame could be read from %1
</source>
        <translation>kestrelvision: aus %1 konnte kein Einzelbild gelesen werden
</translation>
    </message>
    <message>
        <source>%1: motion of %2 frames, trigger %3</source>
        <translation>%1: Bewegung in %2 Einzelbildern, Auslöseschwelle %3</translation>
    </message>
</context>
<context>
    <name>kv::session::RecordingSession</name>
    <message>
        <source>No capture device available.</source>
        <translation>Kein Aufnahmegerät verfügbar.</translation>
    </message>
    <message>
        <source>Kestrelvision needs GStreamer 1.22 or higher: 

OK brings you to the GStreamer download page.
</source>
        <translation>Kestrelvision benötigt GStreamer 1.22 oder neuer: 

Mit OK gelangen Sie zur Downloadseite von GStreamer.
</translation>
    </message>
    <message>
        <source>Nullrenderer not available. 
Kestrelvision needs GStreamer 1.22 or higher: 

</source>
        <translation>Nullrenderer nicht verfügbar. 
Kestrelvision benötigt GStreamer 1.22 oder neuer: 

</translation>
    </message>
    <message>
        <source>Record source filter not available. 

</source>
        <translation>Aufnahme-Quellfilter nicht verfügbar. 

</translation>
    </message>
    <message>
        <source>%1 unfinished recording(s) repaired.</source>
        <translation>%1 unvollständige Aufnahme(n) repariert.</translation>
    </message>
    <message>
        <source>AUS</source>
        <translation>Aus</translation>
    </message>
    <message>
        <source>no picture for %1 s</source>
        <translation>seit %1 s kein Bild</translation>
    </message>
    <message>
        <source>the camera stopped</source>
        <translation>die Kamera hat angehalten</translation>
    </message>
    <message>
        <source>Camera lost: </source>
        <translation>Kamera ausgefallen: </translation>
    </message>
    <message>
        <source>Camera lost: %1 (%2)</source>
        <comment>the camera&apos;s name, then why</comment>
        <translation>Kamera ausgefallen: %1 (%2)</translation>
    </message>
    <message>
        <source>, over the disk quota</source>
        <translation>, Speicherplatzgrenze überschritten</translation>
    </message>
    <message>
        <source>No camera</source>
        <translation>Keine Kamera</translation>
    </message>
    <message>
        <source>Recording stopped</source>
        <translation>Aufnahme angehalten</translation>
    </message>
    <message>
        <source>Recording window is empty</source>
        <translation>Aufnahmefenster ist leer</translation>
    </message>
    <message>
        <source>Outside the recording window until %1</source>
        <translation>Außerhalb des Aufnahmefensters bis %1</translation>
    </message>
    <message>
        <source>Recording off</source>
        <translation>Aufnahme aus</translation>
    </message>
    <message>
        <source>Recording</source>
        <translation>Aufnahme läuft</translation>
    </message>
    <message>
        <source>Waiting for movement</source>
        <translation>Warten auf Bewegung</translation>
    </message>
    <message>
        <source> Frames.</source>
        <translation> Einzelbilder.</translation>
    </message>
    <message>
        <source>Recording stopped: %1</source>
        <translation>Aufnahme angehalten: %1</translation>
    </message>
</context>
<context>
    <name>kv::web::WebServer</name>
    <message>
        <source>Web page at %1://%2/</source>
        <translation>Webseite unter %1://%2/</translation>
    </message>
    <message>
        <source>Web page off: %1</source>
        <translation>Webseite aus: %1</translation>
    </message>
    <message>
        <source>Web page off</source>
        <translation>Webseite aus</translation>
    </message>
    <message>
        <source>Web page off: TLSCert and TLSKey go together</source>
        <translation>Webseite aus: TLSCert und TLSKey müssen zusammen angegeben werden</translation>
    </message>
</context>
</TS>
