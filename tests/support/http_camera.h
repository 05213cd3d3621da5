#pragma once

// A network camera for tests: MJPEG over HTTP on 127.0.0.1, the way IP cameras
// serve it (HTTP/1.0, multipart/x-mixed-replace, one JPEG per part), with modes
// that make it hang, refuse connections, or drop every stream and come back.
//
// The server runs on a thread of its own, so it keeps serving while the main
// thread blocks (the program learns a network camera's size by waiting on the
// main thread for its first frame). Every call below is for the creating
// thread and takes effect before it returns.

#include <QObject>
#include <QSize>
#include <QString>

class QThread;

namespace kv::test {

class HttpCameraServer;

class HttpCamera : public QObject {
    Q_OBJECT
  public:
    enum class Mode {
        Serve,   // answers requests and streams frames
        Hang,    // accepts and reads requests, never answers; open streams stall, stay open
        Refuse,  // not listening: connections are refused; open streams carry on
    };

    explicit HttpCamera(QSize size = {160, 120}, int framesPerSecond = 10,
                        QObject* parent = nullptr);
    ~HttpCamera() override;

    HttpCamera(const HttpCamera&) = delete;
    HttpCamera& operator=(const HttpCamera&) = delete;

    // False if no port could be had; url() is empty then.
    bool isListening() const { return port_ != 0; }
    quint16 port() const { return port_; }
    QString url() const;  // http://127.0.0.1:PORT/video.mjpg
    QSize frameSize() const { return size_; }
    int framesPerSecond() const { return framesPerSecond_; }

    // Leaving Refuse listens on the same port again; leaving Hang answers the
    // requests that waited and lets stalled streams go on. False if the port
    // could not be taken back.
    bool setMode(Mode mode);
    Mode mode() const { return mode_; }

    // Ends every open connection cleanly (after the part being sent, without a
    // closing boundary), as a camera that reboots; the mode stays as it is.
    void closeConnections();

    // Parts written, summed over all connections.
    int framesSent() const;
    // Connections accepted since the start, and those open now.
    int connections() const;
    int openConnections() const;

  private:
    QSize size_;
    int framesPerSecond_;
    Mode mode_ = Mode::Serve;
    quint16 port_ = 0;
    QThread* thread_ = nullptr;
    HttpCameraServer* server_ = nullptr;  // lives on thread_
};

}  // namespace kv::test
