#pragma once

// Every setting of the program, held in memory by the window or the headless
// recorder for the whole run and applied to the session. The table below is
// the only list of them: it makes the struct's members and their defaults,
// and the store walks it to load and to save.

#include <QString>
#include <QTime>

namespace kv::session {

// Where a value lives: the main key's top-level values or one of its subkeys.
enum class SettingGroup { Main, FTP, TCP, MQTT, Web };

// How a value is stored.
enum class SettingKind {
    String,   // text; a missing one reads as empty
    Integer,  // 32-bit signed, decimal text
    Bool,     // decimal text, written 0/1; any non-zero number reads true
    Percent,  // an integer percentage on disk, a fraction in memory
    Time,     // 8 bytes: little-endian IEEE-754 double, fraction of a day
};

// Row flags.
inline constexpr unsigned kStored = 0;
// When reading fails, keeps what was read instead of taking the default.
inline constexpr unsigned kKeptOnFailure = 1;
// Read but never written back.
inline constexpr unsigned kNotSaved = 2;
// Added by a later version: a file without it takes the default and keeps its
// other values; a value that is there but unreadable fails the read as any other.
inline constexpr unsigned kAddedLater = 4;

inline constexpr int kMinInterval_ms = 40;
inline constexpr int kMaxPlayInterval_ms = 1000;
inline constexpr int kMaxTrigger = 30000;
// Device and compressor names live in fields of 80 wide characters with a terminator.
inline constexpr int kNameFieldChars = 80;

inline constexpr double kDefaultRecStartTime = 6.0 / 24.0;
inline constexpr double kDefaultRecStopTime = (23 * 3600 + 59 * 60) / 86400.0;

QString defaultCompressor();  // "MJPEG Compressor"

// The corrections applied to a value as it is read.
namespace load_rule {
template <typename T>
T asRead(T value) {
    return value;
}
int recInterval(int interval_ms);   // below 40 becomes 40
int playInterval(int interval_ms);  // limited to 40..1000
int trigger(int trigger);           // the slider's range, 0..30000
int detector(int detector);         // 0 Classic or 1 Robust; anything else Classic
int preRecFrames(int frames);       // 0..100
int maxRecordSamples(int frames);   // below 1 becomes 1: a file per frame at most
int mode(int mode);                 // Off, On or On movement; anything else On movement
int windowAnchor(int anchor);       // 0 clock, 1 sunrise, 2 sunset; anything else clock
int windowOffset(int minutes);      // -180..180
int idleInterval(int seconds);      // 0 (off)..86400
int filmLength(int seconds);        // 0 (every frame)..86400
int choice(int value);              // 0 or 1; anything else 0
int mqttPort(int port);             // 1..65535; anything else 1883
int mqttKeepalive(int seconds);     // 5..3600
QString nameField(QString name);    // cut to 79 UTF-16 units, never inside a surrogate pair
QString compressor(QString name);   // empty reads as "MJPEG Compressor", then as nameField
}  // namespace load_rule

// X(group, "value name", kind, member, C++ type, default, load rule, flags), in the
// order in which the values are read. Top and Left take their defaults from the
// screen; the store's load() is given them.
#define KV_SETTINGS_TABLE(X)                                                                       \
    X(Main, "Capture Device Name", String, CaptureDeviceName, QString, QString(), nameField,       \
      kStored)                                                                                     \
    X(Main, "Capture Device Index", Integer, CaptureDeviceIndex, int, -1, asRead, kStored)         \
    X(Main, "Capture Format Index", Integer, CaptureFormatIndex, int, 0, asRead, kStored)          \
    X(Main, "Top", Integer, Top, int, 0, asRead, kStored)                                          \
    X(Main, "Left", Integer, Left, int, 0, asRead, kStored)                                        \
    X(Main, "Width", Integer, Width, int, 0, asRead, kAddedLater)                                  \
    X(Main, "Height", Integer, Height, int, 0, asRead, kAddedLater)                                \
    X(Main, "RecInterval", Integer, RecInterval, int, 1000, recInterval, kStored)                  \
    X(Main, "PostRecFrames", Integer, PostRecFrames, int, 0, asRead, kStored)                      \
    X(Main, "PreRecFrames", Integer, PreRecFrames, int, 0, preRecFrames, kAddedLater)              \
    X(Main, "PlayInterval", Integer, PlayInterval, int, 40, playInterval, kStored)                 \
    X(Main, "Compressor", String, Compressor, QString, defaultCompressor(), compressor, kStored)   \
    X(Main, "Compressor Quality", Percent, CompressorQuality, double, 0.8, asRead, kStored)        \
    X(Main, "Compressor Keyframe rate", Integer, CompressorKeyframeRate, int, 10, asRead, kStored) \
    X(Main, "Mode", Integer, Mode, int, 2, mode, kStored)                                          \
    X(Main, "Trigger", Integer, Trigger, int, 25000, trigger, kStored)                             \
    X(Main, "Max Diskspace", Integer, MaxDiskspace, int, 500, asRead, kStored)                     \
    X(Main, "RecUseTimer", Bool, RecUseTimer, bool, false, asRead, kStored)                        \
    X(Main, "RecStartTime", Time, RecStartTime, double, kDefaultRecStartTime, asRead, kStored)     \
    X(Main, "RecStopTime", Time, RecStopTime, double, kDefaultRecStopTime, asRead, kStored)        \
    X(Main, "PlaySoundOnMove", Bool, PlaySoundOnMove, bool, false, asRead, kStored)                \
    X(Main, "MaxRecordSamples", Integer, MaxRecordSamples, int, 20000, maxRecordSamples, kStored)  \
    X(Main, "SoundFileName", String, SoundFileName, QString, QString(), asRead, kStored)           \
    X(Main, "ShowWndOnMove", Bool, ShowWndOnMove, bool, false, asRead, kStored)                    \
    X(Main, "Debug", Bool, Debug, bool, false, asRead, kStored)                                    \
    X(Main, "Detector", Integer, Detector, int, 0, detector, kAddedLater)                          \
    X(Main, "NotifyOnMove", Bool, NotifyOnMove, bool, false, asRead, kAddedLater)                  \
    X(Main, "NotifyOnCamera", Bool, NotifyOnCamera, bool, true, asRead, kAddedLater)               \
    X(Main, "NotifyOnWriteError", Bool, NotifyOnWriteError, bool, true, asRead, kAddedLater)       \
    X(Main, "Latitude", String, Latitude, QString, QString(), asRead, kAddedLater)                 \
    X(Main, "Longitude", String, Longitude, QString, QString(), asRead, kAddedLater)               \
    X(Main, "RecStartAt", Integer, RecStartAt, int, 0, windowAnchor, kAddedLater)                  \
    X(Main, "RecStopAt", Integer, RecStopAt, int, 0, windowAnchor, kAddedLater)                    \
    X(Main, "RecStartOffset", Integer, RecStartOffset, int, 0, windowOffset, kAddedLater)          \
    X(Main, "RecStopOffset", Integer, RecStopOffset, int, 0, windowOffset, kAddedLater)            \
    X(Main, "IdleInterval", Integer, IdleInterval, int, 0, idleInterval, kAddedLater)              \
    X(Main, "DailyFilm", Bool, DailyFilm, bool, false, asRead, kAddedLater)                        \
    X(Main, "FilmLength", Integer, FilmLength, int, 60, filmLength, kAddedLater)                   \
    X(Main, "FilmPace", Integer, FilmPace, int, 0, choice, kAddedLater)                            \
    X(Main, "FilmDeflicker", Bool, FilmDeflicker, bool, true, asRead, kAddedLater)                 \
    X(Main, "FilmFormat", Integer, FilmFormat, int, 0, choice, kAddedLater)                        \
    X(Main, "DayView", Bool, DayView, bool, false, asRead, kAddedLater)                            \
    X(Main, "OnEventCommand", String, OnEventCommand, QString, QString(), asRead, kAddedLater)     \
    X(Main, "AVIPath", String, AVIPath, QString, QString(), asRead, kKeptOnFailure)                \
    X(Main, "TempPath", String, TempPath, QString, QString(), asRead, kKeptOnFailure | kNotSaved)  \
    X(FTP, "FTPActive", Bool, FTPActive, bool, false, asRead, kStored)                             \
    X(FTP, "FTPMaxFrames", Integer, FTPMaxFrames, int, 1000, asRead, kStored)                      \
    X(FTP, "UseRAS", Bool, UseRAS, bool, false, asRead, kStored)                                   \
    X(FTP, "RASEntry", String, RASEntry, QString, QString(), asRead, kStored)                      \
    X(FTP, "UseActiveOnly", Bool, UseActiveOnly, bool, false, asRead, kStored)                     \
    X(FTP, "Host", String, Host, QString, QString(), asRead, kStored)                              \
    X(FTP, "User", String, User, QString, QString(), asRead, kStored)                              \
    X(FTP, "Pass", String, Pass, QString, QString(), asRead, kStored)                              \
    X(FTP, "Path", String, Path, QString, QString(), asRead, kStored)                              \
    X(TCP, "Port", Integer, Port, int, 0, asRead, kStored)                                         \
    X(MQTT, "Host", String, MQTTHost, QString, QString(), asRead, kAddedLater)                     \
    X(MQTT, "Port", Integer, MQTTPort, int, 1883, mqttPort, kAddedLater)                           \
    X(MQTT, "User", String, MQTTUser, QString, QString(), asRead, kAddedLater)                     \
    X(MQTT, "Password", String, MQTTPassword, QString, QString(), asRead, kAddedLater)             \
    X(MQTT, "TLS", Bool, MQTTTLS, bool, false, asRead, kAddedLater)                                \
    X(MQTT, "CAFile", String, MQTTCAFile, QString, QString(), asRead, kAddedLater)                 \
    X(MQTT, "Topic", String, MQTTTopic, QString, QString(), asRead, kAddedLater)                   \
    X(MQTT, "Keepalive", Integer, MQTTKeepalive, int, 30, mqttKeepalive, kAddedLater)              \
    X(MQTT, "Discovery", Bool, MQTTDiscovery, bool, true, asRead, kAddedLater)                     \
    X(MQTT, "AllowCommands", Bool, MQTTAllowCommands, bool, false, asRead, kAddedLater)            \
    X(Web, "Listen", String, WebListen, QString, QString(), asRead, kAddedLater)                   \
    X(Web, "User", String, WebUser, QString, QString(), asRead, kAddedLater)                       \
    X(Web, "Password", String, WebPassword, QString, QString(), asRead, kAddedLater)               \
    X(Web, "TLSCert", String, WebTLSCert, QString, QString(), asRead, kAddedLater)                 \
    X(Web, "TLSKey", String, WebTLSKey, QString, QString(), asRead, kAddedLater)

// A default-constructed Settings holds every default (Top and Left 0, the two
// paths empty): the state before the first load.
struct Settings {
#define KV_SETTINGS_MEMBER(group, name, kind, member, type, def, rule, flags) type member = def;
    KV_SETTINGS_TABLE(KV_SETTINGS_MEMBER)
#undef KV_SETTINGS_MEMBER

    bool operator==(const Settings&) const = default;
};

// Compressor Quality: a fraction in memory, a percentage on disk.
int qualityToPercent(double quality);  // q x 100, rounded to the nearest integer
double percentToQuality(int percent);  // p x 0.01

// The user's documents folder (the home folder when there is none) followed by
// "Brannowerks/Kestrelvision/"; always ends with a separator. Shared by every instance.
QString defaultDataFolder();

// Times of day are held as fractions of a day (06:00 = 0.25).
QTime timeFromDayFraction(double fraction);  // to the nearest millisecond, wrapped into a day
double dayFractionFromTime(QTime time);      // an invalid time gives 0

}  // namespace kv::session
