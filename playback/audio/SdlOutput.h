#pragma once

#include <QString>
#include <QtGlobal>

// The sound output through SDL2's audio subsystem (never its video). The device is opened in the
// sound's own rate and channel count as 32-bit float, so SDL converts for the hardware where it
// must and writes the samples unchanged where it need not; it is reopened only when that format
// changes and kept paused while nothing plays. Used from the playback engine's worker thread
// only; the render callback runs on SDL's audio thread.
class SdlOutput
{
public:
    class Renderer
    {
    public:
        // Fills frames interleaved float frames of channels channels; SDL's audio thread.
        virtual void render(float *out, int frames, int channels) = 0;
        // The device went away while it played (unplugged, or its sound server gone); SDL goes on
        // calling at the device's pace, but nothing rendered is heard. SDL's audio thread.
        virtual void outputLost() = 0;

    protected:
        ~Renderer() = default;
    };

    explicit SdlOutput(Renderer &renderer);
    ~SdlOutput();
    SdlOutput(const SdlOutput &) = delete;
    SdlOutput &operator=(const SdlOutput &) = delete;

    // Starts SDL's audio subsystem unless it runs already; false with error set on a failure
    // (tried again on the next call).
    bool initialize(QString *error);
    // Makes sure a device is open, paused, in this format; false with error set on a failure.
    // A device that went away is opened afresh.
    bool open(int sampleRate, int channels, QString *error);
    void setPaused(bool paused);
    // Closes the device and stops the subsystem; called last on the thread that used it.
    void shutdown();

    bool isOpen() const { return m_device != 0; }
    // Frames in each buffer the driver takes.
    int bufferFrames() const { return m_bufferFrames; }

    static void renderCallback(void *self, quint8 *stream, int bytes);

private:
    void closeDevice();
    bool isLost() const;

    Renderer &m_renderer;
    bool m_initialized = false;
    quint32 m_device = 0;
    int m_sampleRate = 0;
    int m_channels = 0;
    int m_bufferFrames = 0;
};
