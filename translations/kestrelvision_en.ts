<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>Form1</name>
    <message>
        <source>Recordings are kept in</source>
        <translation>Recordings are kept in</translation>
    </message>
    <message>
        <source>&amp;Open folder</source>
        <translation>&amp;Open folder</translation>
    </message>
    <message>
        <source>Show the recordings in the file manager</source>
        <translation>Show the recordings in the file manager</translation>
    </message>
    <message>
        <source>&amp;Keyboard shortcuts</source>
        <translation>&amp;Keyboard shortcuts</translation>
    </message>
    <message>
        <source>Every key of the window (Ctrl+?)</source>
        <translation>The window&apos;s keyboard shortcuts (Ctrl+?)</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>Record off</source>
        <translation>Record off</translation>
    </message>
    <message>
        <source>Current movement</source>
        <translation>Current movement</translation>
    </message>
    <message>
        <source>Trigger for recording on movement.</source>
        <translation>Trigger for recording on movement.</translation>
    </message>
    <message>
        <source>Select capture device</source>
        <translation>Select capture device</translation>
    </message>
    <message>
        <source>Properties capture device</source>
        <translation>Capture device properties</translation>
    </message>
    <message>
        <source>Select compressor</source>
        <translation>Select compressor</translation>
    </message>
    <message>
        <source>Record OFF</source>
        <translation>Record off</translation>
    </message>
    <message>
        <source>Record On</source>
        <translation>Record on</translation>
    </message>
    <message>
        <source>Record on movement</source>
        <translation>Record on movement</translation>
    </message>
    <message>
        <source>Setup Kestrelvision</source>
        <translation>Set up Kestrelvision</translation>
    </message>
    <message>
        <source>Playback</source>
        <translation>Playback</translation>
    </message>
    <message>
        <source>Loading...</source>
        <translation>Loading...</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Open current recording</source>
        <translation>Open current recording</translation>
    </message>
    <message>
        <source>Open recording</source>
        <translation>Open recording</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>Previous frame</source>
        <translation>Previous frame</translation>
    </message>
    <message>
        <source>Next frame</source>
        <translation>Next frame</translation>
    </message>
    <message>
        <source>Previous file</source>
        <translation>Previous file</translation>
    </message>
    <message>
        <source>Next file</source>
        <translation>Next file</translation>
    </message>
    <message>
        <source>Save current frame as image</source>
        <translation>Save current frame as image</translation>
    </message>
    <message>
        <source>Print current frame</source>
        <translation>Print current frame</translation>
    </message>
    <message>
        <source>Play speed (keys + and -)</source>
        <translation>Playback speed (keys + and -)</translation>
    </message>
    <message>
        <source>Kestrelvision records quick motion pictures for long time observation. Even movement controlled.</source>
        <translation>Kestrelvision records time-lapse films for long-term observation, also controlled by movement.</translation>
    </message>
    <message>
        <source>&amp;Quit Kestrelvision (Ctrl+Q)</source>
        <translation>&amp;Quit Kestrelvision (Ctrl+Q)</translation>
    </message>
    <message>
        <source>Kestrelvision erzeugt Zeitrafferfilme für lange Beobachtungen. Auch bewegungsgesteuert.</source>
        <translation>Kestrelvision records time-lapse films for long-term observation, also controlled by movement.</translation>
    </message>
    <message>
        <source>Kestrelvision &amp;beenden (Strg+Q)</source>
        <translation>&amp;Quit Kestrelvision (Ctrl+Q)</translation>
    </message>
    <message>
        <source>&amp;Show</source>
        <translation>&amp;Show</translation>
    </message>
    <message>
        <source>Q&amp;uit</source>
        <translation>Q&amp;uit</translation>
    </message>
    <message>
        <source>Show Mask</source>
        <translation>Show mask</translation>
    </message>
    <message>
        <source>Autoset Mask</source>
        <translation>Automatic mask</translation>
    </message>
    <message>
        <source>Clear Mask</source>
        <translation>Clear mask</translation>
    </message>
    <message>
        <source>Videodatei (*.avi)</source>
        <translation>Video files (*.avi)</translation>
    </message>
    <message>
        <source>JPEG File (*.jpg)</source>
        <translation>JPEG image (*.jpg)</translation>
    </message>
    <message>
        <source>24-Bit-Color Bitmap (*.bmp)</source>
        <translation>24-bit colour bitmap (*.bmp)</translation>
    </message>
    <message>
        <source>256-Color-Bitmap (*.bmp)</source>
        <translation>256-colour bitmap (*.bmp)</translation>
    </message>
    <message>
        <source>16-Color-Bitmap (*.bmp)</source>
        <translation>16-colour bitmap (*.bmp)</translation>
    </message>
    <message>
        <source>Monochrom-Bitmap (*.bmp)</source>
        <translation>Monochrome bitmap (*.bmp)</translation>
    </message>
    <message>
        <source>Record</source>
        <translation>Record</translation>
    </message>
    <message>
        <source>Info</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>Day</source>
        <translation>Day</translation>
    </message>
    <message>
        <source>Show the day&apos;s recordings under the picture</source>
        <translation>Show the day&apos;s recordings under the picture</translation>
    </message>
    <message>
        <source>Film…</source>
        <translation>Film…</translation>
    </message>
    <message>
        <source>Make a film of a span of time</source>
        <translation>Make a film of a span of time</translation>
    </message>
</context>
<context>
    <name>TDlgSelectCapture</name>
    <message>
        <source>Select capture device</source>
        <translation>Select capture device</translation>
    </message>
    <message>
        <source>&amp;Devices:</source>
        <translation>&amp;Devices:</translation>
    </message>
    <message>
        <source>&amp;Formats:</source>
        <translation>&amp;Formats:</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>&amp;Properties...</source>
        <translation>&amp;Properties...</translation>
    </message>
    <message>
        <source>&amp;Add camera...</source>
        <translation>&amp;Add camera...</translation>
    </message>
    <message>
        <source>Re&amp;move</source>
        <translation>Re&amp;move</translation>
    </message>
    <message>
        <source>Removes a camera added with &quot;Add camera...&quot;</source>
        <translation>Removes a camera added with &quot;Add camera...&quot;</translation>
    </message>
    <message>
        <source>No capture device available.</source>
        <translation>No capture device available.</translation>
    </message>
    <message>
        <source>Add a network camera or a video file with &quot;Add camera...&quot;.</source>
        <translation>Add a network camera or a video file with &quot;Add camera...&quot;.</translation>
    </message>
    <message>
        <source>Remove the camera &quot;%1&quot;?</source>
        <translation>Remove the camera &quot;%1&quot;?</translation>
    </message>
</context>
<context>
    <name>TDlgSelectComp</name>
    <message>
        <source>Select compressor</source>
        <translation>Select compressor</translation>
    </message>
    <message>
        <source>&amp;Quality</source>
        <translation>&amp;Quality</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>TDlgSetup</name>
    <message>
        <source>The recording interval is from 100 ms to 10000 s, typed as &quot;1500&quot;, &quot;1500 ms&quot; or &quot;60 s&quot;.</source>
        <translation>The recording interval is from 100 ms to 10000 s, typed as &quot;1500&quot;, &quot;1500 ms&quot; or &quot;60 s&quot;.</translation>
    </message>
    <message>
        <source>Above 10 s the recording interval is set in whole seconds.</source>
        <translation>Above 10 s the recording interval is set in whole seconds.</translation>
    </message>
    <message>
        <source>The hard disk space is from 0 MB to 1000 GB, typed as &quot;500&quot;, &quot;500 MB&quot; or &quot;2 GB&quot;.</source>
        <translation>The hard disk space is from 0 MB to 1000 GB, typed as &quot;500&quot;, &quot;500 MB&quot; or &quot;2 GB&quot;.</translation>
    </message>
    <message>
        <source>Above 1000 MB the hard disk space is set in whole GB.</source>
        <translation>Above 1000 MB the hard disk space is set in whole GB.</translation>
    </message>
    <message>
        <source>Type a whole number from %1 to %2.</source>
        <translation>Type a whole number from %1 to %2.</translation>
    </message>
    <message>
        <source>Kestrelvision Setup:</source>
        <translation>Kestrelvision setup</translation>
    </message>
    <message>
        <source>&amp;Recorder</source>
        <translation>&amp;Recorder</translation>
    </message>
    <message>
        <source>&amp;FTP</source>
        <translation>&amp;FTP</translation>
    </message>
    <message>
        <source>Mo&amp;vement</source>
        <translation>Mo&amp;vement</translation>
    </message>
    <message>
        <source>F&amp;ilms</source>
        <translation>F&amp;ilms</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Audio-File (*.wav)</source>
        <translation>Audio files (*.wav)</translation>
    </message>
    <message>
        <source>&amp;Framerate for recording:</source>
        <translation>Recording i&amp;nterval:</translation>
    </message>
    <message>
        <source>(recommended is 1000 ms to record 1 picture per second to the AVI file. AVI is played back with 25 frames/s. This results in a 25x quick motion picture.)</source>
        <translation>(Recommended: 1000 ms, which records 1 picture per second into the AVI file. AVI plays back at 25 frames/s, so this gives a 25x time-lapse film.)</translation>
    </message>
    <message>
        <source>Frames to record &amp;after last movement:</source>
        <translation>Frames to record &amp;after the last movement:</translation>
    </message>
    <message>
        <source>If Kestrelvision records movement controlled, you can specify the amount of frames it shall record after the movement falls back below the threshold. Useful in conjunction with the motion mask.</source>
        <translation>When Kestrelvision records on movement, you can set how many frames it records after the movement falls back below the threshold. Useful together with the motion mask.</translation>
    </message>
    <message>
        <source>&amp;before movement:</source>
        <translation>&amp;before movement:</translation>
    </message>
    <message>
        <source>&amp;Maximum hard disk space:</source>
        <translation>&amp;Maximum hard disk space:</translation>
    </message>
    <message>
        <source>Kestrelvision needs hard disk space for the video files. Select the maximum amount of hard disk space Kestrelvision shall use for the videos.</source>
        <translation>Kestrelvision needs hard disk space for the video files. Set the maximum hard disk space Kestrelvision may use for them.</translation>
    </message>
    <message>
        <source>Kestrelvision deletes the oldest video files if the currently used hard disk space exeeds this amount.</source>
        <translation>Kestrelvision deletes the oldest video files if the currently used hard disk space exceeds this amount.</translation>
    </message>
    <message>
        <source>Recording &amp;folder:</source>
        <translation>Recording &amp;folder:</translation>
    </message>
    <message>
        <source>Browse...</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>Record Time</source>
        <translation>Recording time</translation>
    </message>
    <message>
        <source>Start:</source>
        <translation>Start:</translation>
    </message>
    <message>
        <source>Stop:</source>
        <translation>Stop:</translation>
    </message>
    <message>
        <source>Play this sound on movement:</source>
        <translation>Play this sound on movement:</translation>
    </message>
    <message>
        <source>Show programm window on movement.</source>
        <translation>Show the program window on movement</translation>
    </message>
    <message>
        <source>at clock time</source>
        <translation>at clock time</translation>
    </message>
    <message>
        <source>at sunrise</source>
        <translation>at sunrise</translation>
    </message>
    <message>
        <source>at sunset</source>
        <translation>at sunset</translation>
    </message>
    <message>
        <source> min</source>
        <translation> min</translation>
    </message>
    <message>
        <source>Minutes before (-) or after (+) the sun&apos;s time</source>
        <translation>Minutes before (-) or after (+) the sun&apos;s time</translation>
    </message>
    <message>
        <source>Place:</source>
        <translation>Place:</translation>
    </message>
    <message>
        <source>latitude, e.g. 52.52</source>
        <translation>Latitude, e.g. 52.52</translation>
    </message>
    <message>
        <source>longitude, e.g. 13.40</source>
        <translation>Longitude, e.g. 13.40</translation>
    </message>
    <message>
        <source>Make a &amp;film of each day by itself once the day is over</source>
        <translation>Automatically make a &amp;film of each day once it is over</translation>
    </message>
    <message>
        <source> s</source>
        <translation> s</translation>
    </message>
    <message>
        <source>every frame</source>
        <translation>All frames</translation>
    </message>
    <message>
        <source>by frames: busy hours take more of the film</source>
        <translation>By frames: busy hours take more of the film</translation>
    </message>
    <message>
        <source>by the clock: the film&apos;s clock runs steadily</source>
        <translation>By the clock: the film&apos;s clock runs steadily</translation>
    </message>
    <message>
        <source>Remove flicker (brightness jumps)</source>
        <translation>Remove flicker (brightness jumps)</translation>
    </message>
    <message>
        <source>MP4 (H.264), plays everywhere</source>
        <translation>MP4 (H.264), plays everywhere</translation>
    </message>
    <message>
        <source>AVI with the recording&apos;s compressor</source>
        <translation>AVI with the recording&apos;s compressor</translation>
    </message>
    <message>
        <source>&amp;Length:</source>
        <translation>&amp;Length:</translation>
    </message>
    <message>
        <source>&amp;Pace:</source>
        <translation>&amp;Pace:</translation>
    </message>
    <message>
        <source>F&amp;ormat:</source>
        <translation>F&amp;ormat:</translation>
    </message>
    <message>
        <source>Films go to the Films folder in the recording folder, named after their day. The Film... button on the Playback page makes a film of any span.</source>
        <translation>Films go to the Films folder in the recording folder, named after their day. The Film… button on the Playback page makes a film of any span.</translation>
    </message>
    <message>
        <source>Movement &amp;detector:</source>
        <translation>Movement &amp;detector:</translation>
    </message>
    <message>
        <source>Classic</source>
        <translation>Classic</translation>
    </message>
    <message>
        <source>Robust</source>
        <translation>Robust</translation>
    </message>
    <message>
        <source>Classic compares single points of two pictures: it notices small changes, but also sensor noise at night, a lamp switched on or clouds. Robust compares the brightness of whole areas, allows for the light changing over the whole picture, waits out a light switch and asks for movement in two pictures in a row. Both use the motion mask and the trigger on the Record page.</source>
        <translation>Classic compares single points of two pictures: it notices small changes, but also sensor noise at night, a lamp switched on or clouds. Robust compares the brightness of whole areas, allows for the light changing over the whole picture, waits out a light switch and asks for movement in two pictures in a row. Both use the motion mask and the trigger on the Record page.</translation>
    </message>
    <message>
        <source>&amp;Heartbeat: while nothing moves, record a frame every</source>
        <translation>&amp;Heartbeat: while nothing moves, record a frame every</translation>
    </message>
    <message>
        <source>off</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>Desktop notifications:</source>
        <translation>Desktop notifications:</translation>
    </message>
    <message>
        <source>Movement &amp;started (with a picture, updated while it lasts)</source>
        <translation>Movement &amp;started (with a picture, updated while it lasts)</translation>
    </message>
    <message>
        <source>&amp;Camera lost and back</source>
        <translation>&amp;Camera lost and back</translation>
    </message>
    <message>
        <source>Recording stopped by a &amp;write error</source>
        <translation>Recording stopped by a &amp;write error</translation>
    </message>
    <message>
        <source>Automatic FTP upload:</source>
        <translation>Automatic FTP upload:</translation>
    </message>
    <message>
        <source>after:</source>
        <translation>after:</translation>
    </message>
    <message>
        <source>frames</source>
        <translation>frames</translation>
    </message>
    <message>
        <source>&amp;Connection:</source>
        <translation>&amp;Connection:</translation>
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
        <translation>&amp;Only over an existing connection</translation>
    </message>
    <message>
        <source>&amp;Ftp:</source>
        <translation>F&amp;TP:</translation>
    </message>
    <message>
        <source>&amp;Host:</source>
        <translation>&amp;Host:</translation>
    </message>
    <message>
        <source>&amp;User:</source>
        <translation>&amp;User:</translation>
    </message>
    <message>
        <source>&amp;Password:</source>
        <translation>&amp;Password:</translation>
    </message>
    <message>
        <source>Destination:</source>
        <translation>Destination:</translation>
    </message>
    <message>
        <source>(%1 MB)</source>
        <translation>(%1 MB)</translation>
    </message>
    <message>
        <source>The recording time starts and stops at %1, so nothing would ever be recorded.

Choose a stop time other than the start time, or switch off &quot;Record Time&quot;.</source>
        <translation>The recording time starts and stops at %1, so nothing would ever be recorded.

Choose a stop time other than the start time, or switch off &quot;Recording time&quot;.</translation>
    </message>
</context>
<context>
    <name>TForm1</name>
    <message>
        <source>No capture device available.</source>
        <translation>No capture device available.</translation>
    </message>
    <message>
        <source>This instance of Kestrelvision records already without a window (process %1). Stop that recorder to use the window, or start the window as another instance.</source>
        <translation>This instance of Kestrelvision is already recording without a window (process %1). Stop that recorder to use the window, or start the window as another instance.</translation>
    </message>
    <message>
        <source>No tray: close minimises, Ctrl+Q quits</source>
        <translation>No tray: close minimises, Ctrl+Q quits</translation>
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
        <translation>usage: kestrelvision [/I&lt;suffix&gt;] [/Q] [--camera NAME=URI ...]
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
</translation>
    </message>
    <message>
        <source>usage: kestrelvision --analyse FILE [--mask MASK.bmp] [--detector classic|robust] [--trigger N] [--plot OUT.png]</source>
        <translation>usage: kestrelvision --analyse FILE [--mask MASK.bmp] [--detector classic|robust] [--trigger N] [--plot OUT.png]</translation>
    </message>
    <message>
        <source>unknown option %1</source>
        <translation>unknown option %1</translation>
    </message>
    <message>
        <source>no display to show the window on (DISPLAY is not set); kestrelvision --headless records without one</source>
        <translation>no display to show the window on (DISPLAY is not set); kestrelvision --headless records without one</translation>
    </message>
    <message>
        <source>Kestrelvision needs GStreamer 1.22 or higher: 

OK brings you to the GStreamer download page.
</source>
        <translation>Kestrelvision needs GStreamer 1.22 or higher.

OK takes you to the GStreamer download page.
</translation>
    </message>
</context>
<context>
    <name>kv::app</name>
    <message>
        <source>the first instance</source>
        <translation>the first instance</translation>
    </message>
    <message>
        <source>instance %1</source>
        <translation>instance %1</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>On</source>
        <translation>On</translation>
    </message>
    <message>
        <source>On movement</source>
        <translation>On movement</translation>
    </message>
    <message>
        <source>the first camera found</source>
        <translation>the first camera found</translation>
    </message>
    <message>
        <source>%1 (the first camera found)</source>
        <translation>%1 (the first camera found)</translation>
    </message>
    <message>
        <source>%1 (not there; the first camera found records meanwhile)</source>
        <translation>%1 (not there; the first camera found records meanwhile)</translation>
    </message>
    <message>
        <source>%1 (not there; %2 records meanwhile)</source>
        <translation>%1 (not there; %2 records meanwhile)</translation>
    </message>
    <message>
        <source>the whole day (no daily window)</source>
        <translation>the whole day (no daily window)</translation>
    </message>
    <message>
        <source>Kestrelvision, %1, %2, process %3
</source>
        <translation>Kestrelvision, %1, %2, process %3
</translation>
    </message>
    <message>
        <source>headless</source>
        <translation>headless</translation>
    </message>
    <message>
        <source>desktop</source>
        <translation>desktop</translation>
    </message>
    <message>
        <source>  State:          %1
</source>
        <translation>  State:          %1
</translation>
    </message>
    <message>
        <source>  Mode:           %1
</source>
        <translation>  Mode:           %1
</translation>
    </message>
    <message>
        <source>  Camera:         %1
</source>
        <translation>  Camera:         %1
</translation>
    </message>
    <message>
        <source>  Recording:      %1
</source>
        <translation>  Recording:      %1
</translation>
    </message>
    <message>
        <source>none</source>
        <translation>none</translation>
    </message>
    <message>
        <source>%1, %2 %3</source>
        <translation>%1, %2 %3</translation>
    </message>
    <message>
        <source>frame</source>
        <translation>frame</translation>
    </message>
    <message>
        <source>frames</source>
        <translation>frames</translation>
    </message>
    <message>
        <source>  Window:         %1
</source>
        <translation>  Window:         %1
</translation>
    </message>
    <message>
        <source>  Last movement:  %1
</source>
        <translation>  Last movement:  %1
</translation>
    </message>
    <message>
        <source>none since the start</source>
        <translation>none since the start</translation>
    </message>
    <message>
        <source>  Disk:           %1 MB of %2 MB in %3
</source>
        <translation>  Disk:           %1 MB of %2 MB in %3
</translation>
    </message>
    <message>
        <source>the instance suffix &quot;%1&quot; cannot name an instance&apos;s files: use a letter or a digit, as in /I2</source>
        <translation>the instance suffix &quot;%1&quot; cannot name an instance&apos;s files: use a letter or a digit, as in /I2</translation>
    </message>
</context>
<context>
    <name>kv::app::DailyFilmStatus</name>
    <message>
        <source>Filming %1</source>
        <translation>Filming %1</translation>
    </message>
    <message>
        <source>Filming %1: %2 %</source>
        <translation>Filming %1: %2 %</translation>
    </message>
    <message>
        <source>Film of %1 ready</source>
        <translation>Film of %1 ready</translation>
    </message>
    <message>
        <source>No film of %1</source>
        <translation>No film of %1</translation>
    </message>
</context>
<context>
    <name>kv::app::DayStrip</name>
    <message>
        <source>Reading the day…</source>
        <translation>Reading the day…</translation>
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
        <translation>The day before with recordings (Page Up)</translation>
    </message>
    <message>
        <source>Choose a day; days with recordings are bold</source>
        <translation>Choose a day; days with recordings are bold</translation>
    </message>
    <message>
        <source>The day after with recordings (Page Down)</source>
        <translation>The day after with recordings (Page Down)</translation>
    </message>
    <message>
        <source>Click the strip to go to a moment; the wheel, or + and - over it, zoom</source>
        <translation>Click the strip to go to a moment; the wheel, or + and - over it, zoom</translation>
    </message>
    <message>
        <source>Movements</source>
        <translation>Movements</translation>
    </message>
    <message>
        <source>The day&apos;s movements as thumbnails</source>
        <translation>The day&apos;s movements as thumbnails</translation>
    </message>
    <message>
        <source>Go to time…</source>
        <translation>Go to time…</translation>
    </message>
    <message>
        <source>Go to the frame recorded nearest a moment (Ctrl+G)</source>
        <translation>Go to the frame recorded nearest a moment (Ctrl+G)</translation>
    </message>
    <message>
        <source>No recordings after this day</source>
        <translation>No recordings after this day</translation>
    </message>
    <message>
        <source>No recordings before this day</source>
        <translation>No recordings before this day</translation>
    </message>
    <message>
        <source>Nothing recorded</source>
        <translation>Nothing recorded</translation>
    </message>
    <message>
        <source>Go to time</source>
        <translation>Go to time</translation>
    </message>
    <message>
        <source>The frame recorded nearest this moment is shown.</source>
        <translation>The frame recorded nearest this moment is shown.</translation>
    </message>
    <message>
        <source>No further movement</source>
        <translation>No further movement</translation>
    </message>
    <message>
        <source>%1 (and %2 more)</source>
        <translation>%1 (and %2 more)</translation>
    </message>
    <message>
        <source>%1, nothing recorded</source>
        <translation>%1, nothing recorded</translation>
    </message>
    <message>
        <source>%1
%2</source>
        <translation>%1
%2</translation>
    </message>
    <message>
        <source>No movement on this day</source>
        <translation>No movement on this day</translation>
    </message>
    <message>
        <source>No day</source>
        <translation>No day</translation>
    </message>
    <message>
        <source>Reading…</source>
        <translation>Reading…</translation>
    </message>
    <message>
        <source>1 recording</source>
        <translation>1 recording</translation>
    </message>
    <message>
        <source>%1 recordings</source>
        <translation>%1 recordings</translation>
    </message>
    <message>
        <source>1 movement</source>
        <translation>1 movement</translation>
    </message>
    <message>
        <source>%1 movements</source>
        <translation>%1 movements</translation>
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
        <translation>from 1 recording</translation>
    </message>
    <message>
        <source>from %1 recordings</source>
        <translation>from %1 recordings</translation>
    </message>
    <message>
        <source>Film of %1 ready</source>
        <translation>Film of %1 ready</translation>
    </message>
    <message>
        <source>%1, %2</source>
        <translation>%1, %2</translation>
    </message>
    <message>
        <source>Movement ended</source>
        <translation>Movement ended</translation>
    </message>
    <message>
        <source>%1 to %2: %3</source>
        <translation>%1 to %2: %3</translation>
    </message>
    <message>
        <source>Movement</source>
        <translation>Movement</translation>
    </message>
    <message>
        <source>Since %1: %2</source>
        <translation>Since %1: %2</translation>
    </message>
    <message>
        <source>1 frame recorded</source>
        <translation>1 frame recorded</translation>
    </message>
    <message>
        <source>%1 frames recorded</source>
        <translation>%1 frames recorded</translation>
    </message>
    <message>
        <source>%1 from %2</source>
        <translation>%1 from %2</translation>
    </message>
    <message>
        <source>Camera lost</source>
        <translation>Camera lost</translation>
    </message>
    <message>
        <source>Camera lost: %1</source>
        <comment>the camera&apos;s name</comment>
        <translation>Camera lost: %1</translation>
    </message>
    <message>
        <source>Camera back</source>
        <translation>Camera back</translation>
    </message>
    <message>
        <source>Camera back: %1</source>
        <comment>the camera&apos;s name</comment>
        <translation>Camera back: %1</translation>
    </message>
    <message>
        <source>Pictures flow again</source>
        <translation>Pictures flow again</translation>
    </message>
    <message>
        <source>Recording stopped</source>
        <translation>Recording stopped</translation>
    </message>
    <message>
        <source>Recording resumed</source>
        <translation>Recording resumed</translation>
    </message>
    <message>
        <source>Writing again</source>
        <translation>Writing again</translation>
    </message>
    <message>
        <source>%1 since %2.</source>
        <translation>%1 since %2.</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Open</translation>
    </message>
</context>
<context>
    <name>kv::app::FilmCommand</name>
    <message>
        <source>%1 needs a value</source>
        <translation>%1 needs a value</translation>
    </message>
    <message>
        <source>--length takes seconds, 1 to 86400, not %1</source>
        <translation>--length takes seconds, 1 to 86400, not %1</translation>
    </message>
    <message>
        <source>--pace is frames or clock, not %1</source>
        <translation>--pace is frames or clock, not %1</translation>
    </message>
    <message>
        <source>--format is mp4 or avi, not %1</source>
        <translation>--format is mp4 or avi, not %1</translation>
    </message>
    <message>
        <source>unknown option %1</source>
        <translation>unknown option %1</translation>
    </message>
    <message>
        <source>--length and --all exclude each other</source>
        <translation>--length and --all exclude each other</translation>
    </message>
    <message>
        <source>the span to film is missing</source>
        <translation>the span to film is missing</translation>
    </message>
    <message>
        <source>one span: FROM and TO, not %1</source>
        <translation>one span: FROM and TO, not %1</translation>
    </message>
    <message>
        <source>%1 is no date (2026-12-08) or date and time (2026-12-08T06:00)</source>
        <translation>%1 is not a date (2026-12-08) or a date and time (2026-12-08T06:00)</translation>
    </message>
    <message>
        <source>the span ends before it begins</source>
        <translation>the span ends before it begins</translation>
    </message>
    <message>
        <source>%1 of %2 frames (%3 %)</source>
        <translation>%1 of %2 frames (%3 %)</translation>
    </message>
    <message>
        <source>%1 frames, %2 s, from %3 recordings</source>
        <translation>%1 frames, %2 s, from %3 recordings</translation>
    </message>
    <message>
        <source>usage: kestrelvision --film FROM [TO] [--length S | --all] [--pace frames|clock]
                     [--no-deflicker] [--format mp4|avi] [-o FILE]
</source>
        <translation>usage: kestrelvision --film FROM [TO] [--length S | --all] [--pace frames|clock]
                     [--no-deflicker] [--format mp4|avi] [-o FILE]
</translation>
    </message>
</context>
<context>
    <name>kv::app::HeadlessRecorder</name>
    <message>
        <source>no recorder of %1 runs</source>
        <translation>no recorder of %1 is running</translation>
    </message>
</context>
<context>
    <name>kv::app::LivePanel</name>
    <message>
        <source>Paint the mask: the left button ignores cells, the right button (or Shift) watches them. Brush %1 (keys 1, 3, 5); Ctrl+Z undoes.</source>
        <translation>Paint the mask: the left button ignores cells, the right button (or Shift) watches them. Brush %1 (keys 1, 3, 5); Ctrl+Z undoes.</translation>
    </message>
    <message>
        <source>Record</source>
        <translation>Record</translation>
    </message>
    <message>
        <source>Pause (no movement)</source>
        <translation>Pause (no movement)</translation>
    </message>
    <message>
        <source>Off (Live)</source>
        <translation>Off (live)</translation>
    </message>
</context>
<context>
    <name>kv::app::PlaybackPage</name>
    <message>
        <source>Loading %1 ...</source>
        <translation>Loading %1...</translation>
    </message>
    <message>
        <source>Frame %1 of %2, %3</source>
        <translation>Frame %1 of %2, %3</translation>
    </message>
    <message>
        <source>No further movement</source>
        <translation>No further movement</translation>
    </message>
    <message>
        <source>Save Frame:</source>
        <translation>Save frame</translation>
    </message>
    <message>
        <source>%1 already exists.
Do you want to replace it?</source>
        <translation>%1 already exists.
Do you want to replace it?</translation>
    </message>
</context>
<context>
    <name>kv::app::RecordPage</name>
    <message>
        <source>, %1 lost</source>
        <translation>, %1 lost</translation>
    </message>
    <message>
        <source>Recording into %1 stopped: %2

Kestrelvision tries again by itself.</source>
        <translation>Recording into %1 stopped: %2

Kestrelvision tries again by itself.</translation>
    </message>
</context>
<context>
    <name>kv::app::SettingsStore</name>
    <message>
        <source>The settings could not be saved to &quot;%1&quot;: %2.</source>
        <translation>The settings could not be saved to &quot;%1&quot;: %2.</translation>
    </message>
    <message>
        <source>the file could not be used and no copy of it can be made</source>
        <translation>the file could not be used and no copy of it can be made</translation>
    </message>
    <message>
        <source>the unusable file cannot be replaced</source>
        <translation>the unusable file cannot be replaced</translation>
    </message>
    <message>
        <source>the file cannot be read</source>
        <translation>the file cannot be read</translation>
    </message>
    <message>
        <source>the file cannot be written</source>
        <translation>the file cannot be written</translation>
    </message>
    <message>
        <source>the file cannot be parsed</source>
        <translation>the file cannot be parsed</translation>
    </message>
    <message>
        <source>its access cannot be limited to its owner</source>
        <translation>its access cannot be limited to its owner</translation>
    </message>
    <message>
        <source>its folder &quot;%1&quot; cannot be created</source>
        <translation>its folder &quot;%1&quot; cannot be created</translation>
    </message>
    <message>
        <source>it is not a regular file</source>
        <translation>it is not a regular file</translation>
    </message>
</context>
<context>
    <name>kv::app::TrayState</name>
    <message>
        <source>Recording off</source>
        <translation>Recording off</translation>
    </message>
    <message>
        <source>Recording</source>
        <translation>Recording</translation>
    </message>
    <message>
        <source>Recording on movement</source>
        <translation>Recording on movement</translation>
    </message>
    <message>
        <source>1 frame</source>
        <translation>1 frame</translation>
    </message>
    <message>
        <source>%1 frames</source>
        <translation>%1 frames</translation>
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
        <translation>the camera ended its stream</translation>
    </message>
    <message>
        <source>camera error</source>
        <translation>camera error</translation>
    </message>
    <message>
        <source>the camera&apos;s picture of %1 x %2 pixels is larger than %3 pixels a side</source>
        <translation>the camera&apos;s picture of %1 x %2 pixels is larger than %3 pixels a side</translation>
    </message>
</context>
<context>
    <name>kv::dialogs::AddCameraDialog</name>
    <message>
        <source>Add camera</source>
        <translation>Add camera</translation>
    </message>
    <message>
        <source>e.g. Garden</source>
        <translation>e.g. Garden</translation>
    </message>
    <message>
        <source>rtsp://, http://, file:// or a file</source>
        <translation>rtsp://, http://, file:// or a file</translation>
    </message>
    <message>
        <source>&amp;Browse...</source>
        <translation>&amp;Browse...</translation>
    </message>
    <message>
        <source>&amp;Test</source>
        <translation>&amp;Test</translation>
    </message>
    <message>
        <source>&amp;Name:</source>
        <translation>&amp;Name:</translation>
    </message>
    <message>
        <source>&amp;Address:</source>
        <translation>&amp;Address:</translation>
    </message>
    <message>
        <source>&amp;User:</source>
        <translation>&amp;User:</translation>
    </message>
    <message>
        <source>&amp;Password:</source>
        <translation>&amp;Password:</translation>
    </message>
    <message>
        <source>Video file</source>
        <translation>Video file</translation>
    </message>
    <message>
        <source>Video files (*.avi *.mp4 *.mkv *.mov *.webm *.mjpeg)</source>
        <translation>Video files (*.avi *.mp4 *.mkv *.mov *.webm *.mjpeg)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>All files (*)</translation>
    </message>
    <message>
        <source>Works: %1 x %2 pixels</source>
        <translation>Works: %1 x %2 pixels</translation>
    </message>
    <message>
        <source>The address cannot be used: %1.</source>
        <translation>The address cannot be used: %1.</translation>
    </message>
    <message>
        <source>Testing...</source>
        <translation>Testing...</translation>
    </message>
    <message>
        <source>The camera needs an address.</source>
        <translation>The camera needs an address.</translation>
    </message>
</context>
<context>
    <name>kv::dialogs::CameraSettingsDialog</name>
    <message>
        <source>Camera settings - %1</source>
        <translation>Camera settings - %1</translation>
    </message>
    <message>
        <source>&amp;Defaults</source>
        <translation>&amp;Defaults</translation>
    </message>
    <message>
        <source>Reading the camera&apos;s settings...</source>
        <translation>Reading the camera&apos;s settings...</translation>
    </message>
    <message>
        <source>The camera does not answer.</source>
        <translation>The camera does not answer.</translation>
    </message>
    <message>
        <source>This camera has nothing to adjust.</source>
        <translation>This camera has nothing to adjust.</translation>
    </message>
    <message>
        <source>These settings take effect when the camera starts again, which closing the camera dialog does.</source>
        <translation>These settings take effect when the camera starts again, which happens when the camera dialog is closed.</translation>
    </message>
    <message>
        <source> ms</source>
        <translation> ms</translation>
    </message>
    <message>
        <source>How long the camera&apos;s stream is held to even out the network; less is closer to live, more rides out a slow network.</source>
        <translation>How long the camera&apos;s stream is held to even out the network; less is closer to live, more rides out a slow network.</translation>
    </message>
    <message>
        <source>Automatic</source>
        <translation>Automatic</translation>
    </message>
    <message>
        <source>TCP only</source>
        <translation>TCP only</translation>
    </message>
    <message>
        <source>UDP only</source>
        <translation>UDP only</translation>
    </message>
    <message>
        <source>&amp;Latency:</source>
        <translation>&amp;Latency:</translation>
    </message>
    <message>
        <source>&amp;Transport:</source>
        <translation>&amp;Transport:</translation>
    </message>
    <message>
        <source>Changes are set at once and kept for this camera.</source>
        <translation>Changes take effect at once and are kept for this camera.</translation>
    </message>
    <message>
        <source>Default: %1</source>
        <translation>Default: %1</translation>
    </message>
    <message>
        <source>%1 cannot be set: %2</source>
        <translation>%1 cannot be set: %2</translation>
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
        <translation>All frames</translation>
    </message>
    <message>
        <source>Frames: busy hours take more of the film</source>
        <translation>Frames: busy hours take more of the film</translation>
    </message>
    <message>
        <source>Clock: the film&apos;s clock runs steadily</source>
        <translation>Clock: the film&apos;s clock runs steadily</translation>
    </message>
    <message>
        <source>Remove flicker</source>
        <translation>Remove flicker</translation>
    </message>
    <message>
        <source>MP4 (H.264), plays everywhere</source>
        <translation>MP4 (H.264), plays everywhere</translation>
    </message>
    <message>
        <source>AVI with the recordings&apos; compressor</source>
        <translation>AVI with the recordings&apos; compressor</translation>
    </message>
    <message>
        <source>From:</source>
        <translation>From:</translation>
    </message>
    <message>
        <source>To:</source>
        <translation>To:</translation>
    </message>
    <message>
        <source>Length:</source>
        <translation>Length:</translation>
    </message>
    <message>
        <source>Pace:</source>
        <translation>Pace:</translation>
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
        <translation>About 59 min 59 s left</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>Show in folder</source>
        <translation>Show in folder</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>The end lies before the start</source>
        <translation>The end lies before the start</translation>
    </message>
    <message>
        <source>Reading the recordings...</source>
        <translation>Reading the recordings...</translation>
    </message>
    <message>
        <source>Almost done</source>
        <translation>Almost done</translation>
    </message>
    <message>
        <source>About %1 left</source>
        <translation>About %1 left</translation>
    </message>
    <message>
        <source>from 1 recording</source>
        <translation>from 1 recording</translation>
    </message>
    <message>
        <source>from %1 recordings</source>
        <translation>from %1 recordings</translation>
    </message>
    <message>
        <source>%1 made: %2, %3.</source>
        <translation>%1 made: %2, %3.</translation>
    </message>
    <message>
        <source>Cancelled; no film was made.</source>
        <translation>Cancelled; no film was made.</translation>
    </message>
</context>
<context>
    <name>kv::dialogs::PropertyDialog</name>
    <message>
        <source>(none)</source>
        <translation>(none)</translation>
    </message>
    <message>
        <source>Colour balance</source>
        <translation>Colour balance</translation>
    </message>
</context>
<context>
    <name>kv::dialogs::ShortcutsDialog</name>
    <message>
        <source>Show this list of keys</source>
        <translation>Show this list of keys</translation>
    </message>
    <message>
        <source>Quit Kestrelvision</source>
        <translation>Quit Kestrelvision</translation>
    </message>
    <message>
        <source>Select the camera</source>
        <translation>Select the camera</translation>
    </message>
    <message>
        <source>Left button</source>
        <translation>Left button</translation>
    </message>
    <message>
        <source>Paint cells that are ignored</source>
        <translation>Paint cells that are ignored</translation>
    </message>
    <message>
        <source>Right button or Shift+left button</source>
        <translation>Right button or Shift+left button</translation>
    </message>
    <message>
        <source>Paint cells that are watched again</source>
        <translation>Paint cells that are watched again</translation>
    </message>
    <message>
        <source>Brush of 1, 3 or 5 cells</source>
        <translation>Brush of 1, 3 or 5 cells</translation>
    </message>
    <message>
        <source>Undo the last stroke</source>
        <translation>Undo the last stroke</translation>
    </message>
    <message>
        <source>Play or stop</source>
        <translation>Play or stop</translation>
    </message>
    <message>
        <source>Previous or next frame</source>
        <translation>Previous or next frame</translation>
    </message>
    <message>
        <source>Previous or next start of a movement</source>
        <translation>Previous or next start of a movement</translation>
    </message>
    <message>
        <source>Play faster or slower (1x to 16x)</source>
        <translation>Play faster or slower (1x to 16x)</translation>
    </message>
    <message>
        <source>Go to a time of the day</source>
        <translation>Go to a time of the day</translation>
    </message>
    <message>
        <source>Previous or next day with recordings</source>
        <translation>Previous or next day with recordings</translation>
    </message>
    <message>
        <source>Click</source>
        <translation>Click</translation>
    </message>
    <message>
        <source>Show the window</source>
        <translation>Show the window</translation>
    </message>
    <message>
        <source>Double click</source>
        <translation>Double-click</translation>
    </message>
    <message>
        <source>Show the window on the Record page</source>
        <translation>Show the window on the Record page</translation>
    </message>
    <message>
        <source>Right click</source>
        <translation>Right-click</translation>
    </message>
    <message>
        <source>Menu: Show, Quit</source>
        <translation>Menu: Show, Quit</translation>
    </message>
    <message>
        <source> or </source>
        <comment>between two keys</comment>
        <translation> or </translation>
    </message>
    <message>
        <source>Every page</source>
        <translation>Every page</translation>
    </message>
    <message>
        <source>Record page</source>
        <translation>Record page</translation>
    </message>
    <message>
        <source>Mask (Show Mask in the live picture&apos;s menu)</source>
        <translation>Mask (Show mask in the live picture&apos;s menu)</translation>
    </message>
    <message>
        <source>Playback page</source>
        <translation>Playback page</translation>
    </message>
    <message>
        <source>Tray icon</source>
        <translation>Tray icon</translation>
    </message>
    <message>
        <source>Keyboard shortcuts</source>
        <translation>Keyboard shortcuts</translation>
    </message>
    <message>
        <source>Key</source>
        <translation>Key</translation>
    </message>
    <message>
        <source>Action</source>
        <translation>Action</translation>
    </message>
</context>
<context>
    <name>kv::film::ChunkDecoder</name>
    <message>
        <source>GStreamer cannot make a pipeline</source>
        <translation>GStreamer cannot make a pipeline</translation>
    </message>
    <message>
        <source>GStreamer lacks an element to decode recordings</source>
        <translation>GStreamer lacks an element to decode recordings</translation>
    </message>
    <message>
        <source>cannot link the decoding pipeline</source>
        <translation>cannot link the decoding pipeline</translation>
    </message>
    <message>
        <source>the decoding pipeline does not start</source>
        <translation>the decoding pipeline does not start</translation>
    </message>
    <message>
        <source>out of memory for a frame of %1 bytes</source>
        <translation>out of memory for a frame of %1 bytes</translation>
    </message>
    <message>
        <source>a frame cannot be read: %1</source>
        <translation>a frame cannot be read: %1</translation>
    </message>
    <message>
        <source>cut short</source>
        <translation>cut short</translation>
    </message>
    <message>
        <source>the decoder refused a frame</source>
        <translation>the decoder refused a frame</translation>
    </message>
    <message>
        <source>the decoder gave no frame for 30 s</source>
        <translation>the decoder gave no frame for 30 s</translation>
    </message>
    <message>
        <source>the decoder gave frames of no known format</source>
        <translation>the decoder gave frames of no known format</translation>
    </message>
</context>
<context>
    <name>kv::film::DailyFilm</name>
    <message>
        <source>cannot rename %1: %2</source>
        <translation>cannot rename %1: %2</translation>
    </message>
    <message>
        <source>no free name for %1</source>
        <translation>no free name for %1</translation>
    </message>
    <message>
        <source>cannot make the folder %1</source>
        <translation>cannot make the folder %1</translation>
    </message>
</context>
<context>
    <name>kv::film::FilmMaker</name>
    <message>
        <source>cannot create %1: %2</source>
        <translation>cannot create %1: %2</translation>
    </message>
    <message>
        <source>no free name for %1</source>
        <translation>no free name for %1</translation>
    </message>
    <message>
        <source>cannot make the folder %1: %2</source>
        <translation>cannot make the folder %1: %2</translation>
    </message>
    <message>
        <source>%1 is not a folder</source>
        <translation>%1 is not a folder</translation>
    </message>
    <message>
        <source>GStreamer cannot make a pipeline</source>
        <translation>GStreamer cannot make a pipeline</translation>
    </message>
    <message>
        <source>MP4 films need x264enc and mp4mux (gstreamer1.0-plugins-ugly and -good)</source>
        <translation>MP4 films need x264enc and mp4mux (gstreamer1.0-plugins-ugly and -good)</translation>
    </message>
    <message>
        <source>the compressor %1 is not installed</source>
        <translation>the compressor %1 is not installed</translation>
    </message>
    <message>
        <source>GStreamer lacks appsrc or fdsink</source>
        <translation>GStreamer lacks appsrc or fdsink</translation>
    </message>
    <message>
        <source>cannot link %1 in the film&apos;s pipeline</source>
        <translation>cannot link %1 in the film&apos;s pipeline</translation>
    </message>
    <message>
        <source>the film&apos;s pipeline does not start</source>
        <translation>the film&apos;s pipeline does not start</translation>
    </message>
    <message>
        <source>the encoder took no frame for 30 s</source>
        <translation>the encoder took no frame for 30 s</translation>
    </message>
    <message>
        <source>the encoder refused a frame</source>
        <translation>the encoder refused a frame</translation>
    </message>
    <message>
        <source>the film was not finished within 120 s</source>
        <translation>the film was not finished within 120 s</translation>
    </message>
    <message>
        <source>the span&apos;s end lies before its start</source>
        <translation>the span&apos;s end lies before its start</translation>
    </message>
    <message>
        <source>nothing was recorded from %1 to %2</source>
        <translation>nothing was recorded from %1 to %2</translation>
    </message>
    <message>
        <source>no decoder knows %1</source>
        <translation>no decoder knows %1</translation>
    </message>
    <message>
        <source>%1 could not be read to the end: %2</source>
        <translation>%1 could not be read to the end: %2</translation>
    </message>
    <message>
        <source>cancelled</source>
        <translation>cancelled</translation>
    </message>
    <message>
        <source>%1 not made: %2</source>
        <translation>%1 not made: %2</translation>
    </message>
    <message>
        <source>%1 frames could not be decoded; the film holds the frame before each</source>
        <translation>%1 frames could not be decoded; the film holds the frame before each</translation>
    </message>
</context>
<context>
    <name>kv::film::Span</name>
    <message>
        <source>no whole frame</source>
        <translation>no whole frame</translation>
    </message>
    <message>
        <source>%1 skipped: %2</source>
        <translation>%1 skipped: %2</translation>
    </message>
    <message>
        <source>gone meanwhile</source>
        <translation>gone meanwhile</translation>
    </message>
</context>
<context>
    <name>kv::media::CameraControls</name>
    <message>
        <source>Brightness</source>
        <translation>Brightness</translation>
    </message>
    <message>
        <source>Contrast</source>
        <translation>Contrast</translation>
    </message>
    <message>
        <source>Saturation</source>
        <translation>Saturation</translation>
    </message>
    <message>
        <source>Exposure</source>
        <translation>Exposure</translation>
    </message>
    <message>
        <source>Exposure time (0.1 ms)</source>
        <translation>Exposure time (0.1 ms)</translation>
    </message>
    <message>
        <source>Automatic gain</source>
        <translation>Automatic gain</translation>
    </message>
    <message>
        <source>Gain</source>
        <translation>Gain</translation>
    </message>
    <message>
        <source>Automatic white balance</source>
        <translation>Automatic white balance</translation>
    </message>
    <message>
        <source>White balance (K)</source>
        <translation>White balance (K)</translation>
    </message>
    <message>
        <source>Automatic focus</source>
        <translation>Automatic focus</translation>
    </message>
    <message>
        <source>Focus</source>
        <translation>Focus</translation>
    </message>
    <message>
        <source>Power-line frequency</source>
        <translation>Power-line frequency</translation>
    </message>
    <message>
        <source>%1 is not a device</source>
        <translation>%1 is not a device</translation>
    </message>
    <message>
        <source>The camera offers none of the usual controls.</source>
        <translation>The camera offers none of the usual controls.</translation>
    </message>
</context>
<context>
    <name>kv::media::CameraProbe</name>
    <message>
        <source>The address cannot be used: %1.</source>
        <translation>The address cannot be used: %1.</translation>
    </message>
    <message>
        <source>The camera cannot be built.</source>
        <translation>The camera cannot be built.</translation>
    </message>
    <message>
        <source>The camera gives no video.</source>
        <translation>The camera gives no video.</translation>
    </message>
    <message>
        <source>The camera gave no picture within %1 s.</source>
        <translation>The camera gave no picture within %1 s.</translation>
    </message>
    <message>
        <source>The camera ended its stream at once.</source>
        <translation>The camera ended its stream at once.</translation>
    </message>
    <message>
        <source>The camera did not answer within %1 s.</source>
        <translation>The camera did not answer within %1 s.</translation>
    </message>
</context>
<context>
    <name>kv::media::CameraSettings</name>
    <message>
        <source>the settings file &quot;%1&quot; cannot be read</source>
        <translation>the settings file &quot;%1&quot; cannot be read</translation>
    </message>
    <message>
        <source>the settings file &quot;%1&quot; cannot be written</source>
        <translation>the settings file &quot;%1&quot; cannot be written</translation>
    </message>
    <message>
        <source>The camera needs a name.</source>
        <translation>The camera needs a name.</translation>
    </message>
    <message>
        <source>A camera&apos;s name cannot hold the character %1.</source>
        <translation>A camera&apos;s name cannot hold the character %1.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; cannot be a camera&apos;s name.</source>
        <translation>&quot;%1&quot; cannot be a camera&apos;s name.</translation>
    </message>
    <message>
        <source>There is a camera named &quot;%1&quot; already.</source>
        <translation>There is a camera named &quot;%1&quot; already.</translation>
    </message>
    <message>
        <source>The address cannot be used: %1.</source>
        <translation>The address cannot be used: %1.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a camera of the settings file.</source>
        <translation>&quot;%1&quot; is not a camera of the settings file.</translation>
    </message>
    <message>
        <source>the settings file &quot;%1&quot; is a link</source>
        <translation>the settings file &quot;%1&quot; is a link</translation>
    </message>
    <message>
        <source>the folder &quot;%1&quot; cannot be made</source>
        <translation>the folder &quot;%1&quot; cannot be made</translation>
    </message>
    <message>
        <source>the settings file &quot;%1&quot; is not a regular file</source>
        <translation>the settings file &quot;%1&quot; is not a regular file</translation>
    </message>
    <message>
        <source>the settings file &quot;%1&quot; cannot be made private</source>
        <translation>the settings file &quot;%1&quot; cannot be made private</translation>
    </message>
</context>
<context>
    <name>kv::media::UriCamera</name>
    <message>
        <source>the file did not show its picture size within %1 s</source>
        <translation>the file did not show its picture size within %1 s</translation>
    </message>
    <message>
        <source>the camera file is a FIFO, not a regular file</source>
        <translation>the camera file is a FIFO, not a regular file</translation>
    </message>
    <message>
        <source>the camera file is a folder, not a regular file</source>
        <translation>the camera file is a folder, not a regular file</translation>
    </message>
    <message>
        <source>the camera file is not a regular file</source>
        <translation>the camera file is not a regular file</translation>
    </message>
    <message>
        <source>the camera file: %1</source>
        <translation>the camera file: %1</translation>
    </message>
</context>
<context>
    <name>kv::playback::FrameExport</name>
    <message>
        <source>Cannot write %1: %2</source>
        <translation>Cannot write %1: %2</translation>
    </message>
    <message>
        <source>Cannot write %1: filter %2 is no image format.</source>
        <translation>Cannot write %1: filter %2 is not an image format.</translation>
    </message>
    <message>
        <source>Cannot save the frame: no file name was given.</source>
        <translation>Cannot save the frame: no file name was given.</translation>
    </message>
    <message>
        <source>Cannot write %1: there is no frame to save.</source>
        <translation>Cannot write %1: there is no frame to save.</translation>
    </message>
    <message>
        <source>Kestrelvision: %1, frame %2, %3</source>
        <translation>Kestrelvision: %1, frame %2, %3</translation>
    </message>
    <message>
        <source>Cannot print: there is no frame to print.</source>
        <translation>Cannot print: there is no frame to print.</translation>
    </message>
    <message>
        <source>Kestrelvision Frame</source>
        <translation>Kestrelvision frame</translation>
    </message>
    <message>
        <source>Cannot print on %1: the print job could not be started.</source>
        <translation>Cannot print on %1: the print job could not be started.</translation>
    </message>
    <message>
        <source>the default printer</source>
        <translation>the default printer</translation>
    </message>
    <message>
        <source>Printing on %1 was aborted.</source>
        <translation>Printing on %1 was aborted.</translation>
    </message>
    <message>
        <source>Printing on %1 failed.</source>
        <translation>Printing on %1 failed.</translation>
    </message>
    <message>
        <source>No printer is installed.</source>
        <translation>No printer is installed.</translation>
    </message>
    <message>
        <source>No default printer is set.</source>
        <translation>No default printer is set.</translation>
    </message>
    <message>
        <source>Cannot write %1: %2 bits per pixel is not an indexed depth.</source>
        <translation>Cannot write %1: %2 bits per pixel is not an indexed depth.</translation>
    </message>
    <message>
        <source>Cannot write %1: there is no image.</source>
        <translation>Cannot write %1: there is no image.</translation>
    </message>
    <message>
        <source>Cannot write %1: the image has no colour table.</source>
        <translation>Cannot write %1: the image has no colour table.</translation>
    </message>
    <message>
        <source>Cannot write %1: %2 colours do not fit in %3 bits per pixel.</source>
        <translation>Cannot write %1: %2 colours do not fit in %3 bits per pixel.</translation>
    </message>
    <message>
        <source>Cannot write %1: pixel (%2, %3) has no colour.</source>
        <translation>Cannot write %1: pixel (%2, %3) has no colour.</translation>
    </message>
    <message>
        <source>Cannot write %1: the image is too large for a bitmap file.</source>
        <translation>Cannot write %1: the image is too large for a bitmap file.</translation>
    </message>
</context>
<context>
    <name>kv::playback::PlaybackGraph</name>
    <message>
        <source>Error loading video file.</source>
        <translation>Error loading video file.</translation>
    </message>
    <message>
        <source>Error loading videofile. (codec not installed ?)</source>
        <translation>Error loading video file (codec not installed?).</translation>
    </message>
    <message>
        <source>%1: %2 Frames</source>
        <translation>%1: %2 frames</translation>
    </message>
</context>
<context>
    <name>kv::record::RecordGraph</name>
    <message>
        <source>Video compressor not available. (0x%1).</source>
        <translation>Video compressor not available (0x%1).</translation>
    </message>
    <message>
        <source>the recording folder is gone</source>
        <translation>the recording folder is gone</translation>
    </message>
    <message>
        <source>the recording file was deleted</source>
        <translation>the recording file was deleted</translation>
    </message>
</context>
<context>
    <name>kv::review::DayActivity</name>
    <message>
        <source>%1 skipped: %2</source>
        <translation>%1 skipped: %2</translation>
    </message>
    <message>
        <source>no whole frame</source>
        <translation>no whole frame</translation>
    </message>
    <message>
        <source>gone meanwhile</source>
        <translation>gone meanwhile</translation>
    </message>
    <message>
        <source>%1: its journal cannot be read; shown from its file times</source>
        <translation>%1: its journal cannot be read; shown from its file times</translation>
    </message>
    <message>
        <source>%1: %2 damaged journal lines skipped</source>
        <translation>%1: %2 damaged journal lines skipped</translation>
    </message>
</context>
<context>
    <name>kv::review::FramePictures</name>
    <message>
        <source>the frame is cut short</source>
        <translation>the frame is cut short</translation>
    </message>
    <message>
        <source>the frame cannot be decoded: %1</source>
        <translation>the frame cannot be decoded: %1</translation>
    </message>
    <message>
        <source>no decoder knows %1</source>
        <translation>no decoder knows %1</translation>
    </message>
    <message>
        <source>the decoder gave no picture for frame %1</source>
        <translation>the decoder gave no picture for frame %1</translation>
    </message>
    <message>
        <source>the recording has no frame %1</source>
        <translation>the recording has no frame %1</translation>
    </message>
</context>
<context>
    <name>kv::session::DailyWindow</name>
    <message>
        <source>sunrise</source>
        <translation>sunrise</translation>
    </message>
    <message>
        <source>sunset</source>
        <translation>sunset</translation>
    </message>
    <message>
        <source>clock time</source>
        <translation>clock time</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1 min</translation>
    </message>
    <message>
        <source>Window: %1</source>
        <translation>Window: %1</translation>
    </message>
    <message>
        <source>never (%1)</source>
        <translation>never (%1)</translation>
    </message>
    <message>
        <source>today the whole day (%1)</source>
        <translation>today the whole day (%1)</translation>
    </message>
    <message>
        <source>today nothing (%1)</source>
        <translation>today nothing (%1)</translation>
    </message>
    <message>
        <source>the whole day (%1)</source>
        <translation>the whole day (%1)</translation>
    </message>
    <message>
        <source>nothing today (%1)</source>
        <translation>nothing today (%1)</translation>
    </message>
    <message>
        <source>Each end of the recording window is at clock time, sunrise or sunset.</source>
        <translation>Each end of the recording window is at clock time, sunrise or sunset.</translation>
    </message>
    <message>
        <source>An offset from sunrise or sunset is between -180 and 180 minutes.</source>
        <translation>An offset from sunrise or sunset is between -180 and 180 minutes.</translation>
    </message>
    <message>
        <source>The latitude is between -90 and 90 degrees (north positive).</source>
        <translation>The latitude is between -90 and 90 degrees (north positive).</translation>
    </message>
    <message>
        <source>The longitude is between -180 and 180 degrees (east positive).</source>
        <translation>The longitude is between -180 and 180 degrees (east positive).</translation>
    </message>
    <message>
        <source>Sunrise and sunset need the place: enter its latitude and longitude.</source>
        <translation>Sunrise and sunset need the place: enter its latitude and longitude.</translation>
    </message>
    <message>
        <source>The recording window starts when it stops, so it would never record.</source>
        <translation>The recording window starts when it stops, so it would never record.</translation>
    </message>
    <message>
        <source>%1 to %2</source>
        <translation>%1 to %2</translation>
    </message>
    <message>
        <source>polar day</source>
        <translation>polar day</translation>
    </message>
    <message>
        <source>The sun does not set today (polar day): the window is the whole day.</source>
        <translation>The sun does not set today (polar day): the window is the whole day.</translation>
    </message>
    <message>
        <source>The sun does not set today (polar day): nothing is recorded.</source>
        <translation>The sun does not set today (polar day): nothing is recorded.</translation>
    </message>
    <message>
        <source>polar night</source>
        <translation>polar night</translation>
    </message>
    <message>
        <source>The sun does not rise today (polar night): the window is the whole day.</source>
        <translation>The sun does not rise today (polar night): the window is the whole day.</translation>
    </message>
    <message>
        <source>The sun does not rise today (polar night): nothing is recorded.</source>
        <translation>The sun does not rise today (polar night): nothing is recorded.</translation>
    </message>
    <message>
        <source>offsets</source>
        <translation>offsets</translation>
    </message>
    <message>
        <source>The offsets leave no time in the window today: nothing is recorded.</source>
        <translation>The offsets leave no time in the window today: nothing is recorded.</translation>
    </message>
    <message>
        <source>The offsets make the window longer than the day: the window is the whole day.</source>
        <translation>The offsets make the window longer than the day: the window is the whole day.</translation>
    </message>
    <message>
        <source>today %1 - %2</source>
        <translation>today %1 - %2</translation>
    </message>
    <message>
        <source>%1 to %2 (%3)</source>
        <translation>%1 to %2 (%3)</translation>
    </message>
</context>
<context>
    <name>kv::session::FootageAnalysis</name>
    <message>
        <source>kestrelvision: cannot write %1: %2
</source>
        <translation>kestrelvision: cannot write %1: %2
</translation>
    </message>
    <message>
        <source>kestrelvision: cannot read the mask %1
</source>
        <translation>kestrelvision: cannot read the mask %1
</translation>
    </message>
    <message>
        <source>%1 of %2 frames (%3 %)
</source>
        <translation>%1 of %2 frames (%3 %)
</translation>
    </message>
    <message>
        <source>%1 frames
</source>
        <translation>%1 frames
</translation>
    </message>
    <message>
        <source>kestrelvision: no frame could be read from %1
</source>
        <translation>kestrelvision: no frame could be read from %1
</translation>
    </message>
    <message>
        <source>%1: motion of %2 frames, trigger %3</source>
        <translation>%1: motion of %2 frames, trigger %3</translation>
    </message>
</context>
<context>
    <name>kv::session::RecordingSession</name>
    <message>
        <source>No capture device available.</source>
        <translation>No capture device available.</translation>
    </message>
    <message>
        <source>Kestrelvision needs GStreamer 1.22 or higher: 

OK brings you to the GStreamer download page.
</source>
        <translation>Kestrelvision needs GStreamer 1.22 or higher.

OK takes you to the GStreamer download page.
</translation>
    </message>
    <message>
        <source>Nullrenderer not available. 
Kestrelvision needs GStreamer 1.22 or higher: 

</source>
        <translation>Null renderer not available. 
Kestrelvision needs GStreamer 1.22 or higher: 

</translation>
    </message>
    <message>
        <source>Record source filter not available. 

</source>
        <translation>Record source filter not available. 

</translation>
    </message>
    <message>
        <source>%1 unfinished recording(s) repaired.</source>
        <translation>%1 unfinished recording(s) repaired.</translation>
    </message>
    <message>
        <source>AUS</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>no picture for %1 s</source>
        <translation>no picture for %1 s</translation>
    </message>
    <message>
        <source>the camera stopped</source>
        <translation>the camera stopped</translation>
    </message>
    <message>
        <source>Camera lost: </source>
        <translation>Camera lost: </translation>
    </message>
    <message>
        <source>Camera lost: %1 (%2)</source>
        <comment>the camera&apos;s name, then why</comment>
        <translation>Camera lost: %1 (%2)</translation>
    </message>
    <message>
        <source>, over the disk quota</source>
        <translation>, over the disk quota</translation>
    </message>
    <message>
        <source>No camera</source>
        <translation>No camera</translation>
    </message>
    <message>
        <source>Recording stopped</source>
        <translation>Recording stopped</translation>
    </message>
    <message>
        <source>Recording window is empty</source>
        <translation>Recording window is empty</translation>
    </message>
    <message>
        <source>Outside the recording window until %1</source>
        <translation>Outside the recording window until %1</translation>
    </message>
    <message>
        <source>Recording off</source>
        <translation>Recording off</translation>
    </message>
    <message>
        <source>Recording</source>
        <translation>Recording</translation>
    </message>
    <message>
        <source>Waiting for movement</source>
        <translation>Waiting for movement</translation>
    </message>
    <message>
        <source> Frames.</source>
        <translation> frames.</translation>
    </message>
    <message>
        <source>Recording stopped: %1</source>
        <translation>Recording stopped: %1</translation>
    </message>
</context>
<context>
    <name>kv::web::WebServer</name>
    <message>
        <source>Web page at %1://%2/</source>
        <translation>Web page at %1://%2/</translation>
    </message>
    <message>
        <source>Web page off: %1</source>
        <translation>Web page off: %1</translation>
    </message>
    <message>
        <source>Web page off</source>
        <translation>Web page off</translation>
    </message>
    <message>
        <source>Web page off: TLSCert and TLSKey go together</source>
        <translation>Web page off: TLSCert and TLSKey go together</translation>
    </message>
</context>
</TS>
