#include "playback/audio/SdlOutput.h"

#include <SDL.h>

#include <cstring>

namespace {

// About 10 ms per buffer: small enough to start quickly and to tell the end of the sound
// precisely, large enough not to starve a sound server.
int bufferFramesFor(int sampleRate)
{
    int frames = 64;
    while (frames < sampleRate / 100 && frames < 8192)
        frames *= 2;
    return frames;
}

constexpr const char *StreamName = "Voice Vocta";

} // namespace

SdlOutput::SdlOutput(Renderer &renderer) : m_renderer(renderer) { }

SdlOutput::~SdlOutput()
{
    shutdown();
}

bool SdlOutput::initialize(QString *error)
{
    if (m_initialized)
        return true;
    // The program handles its own signals; SDL must not take over SIGINT and SIGTERM.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_APP_NAME, StreamName);
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, StreamName);
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, StreamName);
    if (SDL_Init(SDL_INIT_AUDIO) != 0) {
        *error = QStringLiteral("no sound output: %1").arg(QString::fromUtf8(SDL_GetError()));
        return false;
    }
    m_initialized = true;
    return true;
}

bool SdlOutput::open(int sampleRate, int channels, QString *error)
{
    if (!initialize(error))
        return false;
    if (m_device && sampleRate == m_sampleRate && channels == m_channels && !isLost())
        return true;
    closeDevice();

    SDL_AudioSpec wanted{};
    wanted.freq = sampleRate;
    wanted.format = AUDIO_F32SYS;
    wanted.channels = Uint8(channels);
    wanted.samples = Uint16(bufferFramesFor(sampleRate));
    wanted.callback = &SdlOutput::renderCallback;
    wanted.userdata = this;
    SDL_AudioSpec obtained{};
    // No changes allowed: SDL converts to whatever the hardware wants.
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (device == 0) {
        *error = QStringLiteral("the sound output cannot be opened: %1")
                     .arg(QString::fromUtf8(SDL_GetError()));
        return false;
    }
    m_device = device;
    m_sampleRate = sampleRate;
    m_channels = channels;
    m_bufferFrames = obtained.samples;
    return true;
}

void SdlOutput::setPaused(bool paused)
{
    if (m_device)
        SDL_PauseAudioDevice(m_device, paused ? 1 : 0);
}

bool SdlOutput::isLost() const
{
    // SDL reports a device that went away as stopped; an open device is otherwise paused or
    // playing.
    return m_device && SDL_GetAudioDeviceStatus(m_device) == SDL_AUDIO_STOPPED;
}

void SdlOutput::closeDevice()
{
    if (m_device)
        SDL_CloseAudioDevice(m_device);
    m_device = 0;
    m_sampleRate = 0;
    m_channels = 0;
    m_bufferFrames = 0;
}

void SdlOutput::shutdown()
{
    closeDevice();
    if (m_initialized)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    m_initialized = false;
    // SDL keeps per-thread data (its error text) that it frees only for threads it started.
    SDL_TLSCleanup();
}

void SdlOutput::renderCallback(void *self, quint8 *stream, int bytes)
{
    auto *output = static_cast<SdlOutput *>(self);
    // m_device is set before the device is first unpaused and cleared after it is closed, and
    // SDL calls back only in between.
    if (output->isLost()) {
        std::memset(stream, 0, size_t(bytes));
        output->m_renderer.outputLost();
        return;
    }
    const int frameBytes = int(sizeof(float)) * output->m_channels;
    output->m_renderer.render(reinterpret_cast<float *>(stream), bytes / frameBytes,
                              output->m_channels);
}
