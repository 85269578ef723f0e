#include "cli/commands/render_job.h"

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <thread>

namespace cli {

std::atomic<bool> interruptRequested{false};

namespace {

extern "C" void OnInterrupt(int) { interruptRequested.store(true); }

struct RenderedFrame {
  refhost::Picture picture;
  std::vector<std::string> console;
  bool ok = true;
  std::string error;
};

void ShowProgress(int done, int total, std::chrono::steady_clock::time_point start) {
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double fps = seconds > 0 ? done / seconds : 0.0;
  int eta = fps > 0 ? static_cast<int>((total - done) / fps) : 0;
  std::fprintf(stderr, "\rframe %d/%d  %.1f fps  ETA %02d:%02d ", done, total, fps, eta / 60,
               eta % 60);
  std::fflush(stderr);
}

}  // namespace

void InstallInterruptHandlers() {
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
}

int RunRenderJob(Session& session, const RenderJob& job) {
  const refhost::ProjectSettings& settings = session.Settings();
  const int first = job.first;
  const int last = job.last < 0 ? settings.totalFrames - 1 : job.last;
  const int total = last - first + 1;
  const int jobs = std::max(1, job.jobs);

  std::ofstream consoleFile;
  if (!job.consolePath.empty()) {
    consoleFile.open(job.consolePath, std::ios::binary | std::ios::trunc);
    if (!consoleFile) throw FileError(job.consolePath, "cannot write the console file");
  }

  // One effect instance per thread, each rendering its own frames.
  std::vector<std::unique_ptr<refhost::EffectHost>> hosts;
  for (int i = 0; i < jobs; ++i) hosts.push_back(session.NewHost());

  MediaWriter writer(job.output, settings.width, settings.height, session.FrameRate(),
                     session.OutputFieldOrder(), job.writer);
  const auto start = std::chrono::steady_clock::now();
  // Frames are rendered in batches, each thread taking every jobs-th frame of
  // the batch, and written in order once the batch is complete.
  const int batchSize = jobs * 4;
  std::vector<RenderedFrame> batch(batchSize);
  int written = 0;
  for (int batchStart = first; batchStart <= last; batchStart += batchSize) {
    if (interruptRequested.load()) break;
    const int count = std::min(batchSize, last - batchStart + 1);
    auto work = [&](int thread) {
      refhost::EffectHost& host = *hosts[thread];
      for (int i = thread; i < count; i += jobs) {
        RenderedFrame& slot = batch[i];
        host.ConsoleLines().clear();
        try {
          slot.ok = host.RenderFrame(batchStart + i, slot.picture);
          slot.error.clear();
        } catch (const std::exception& error) {
          slot.ok = false;
          slot.error = error.what();
        }
        slot.console = host.ConsoleLines();
      }
    };
    if (jobs == 1) {
      work(0);
    } else {
      std::vector<std::thread> threads;
      for (int t = 0; t < jobs; ++t) threads.emplace_back(work, t);
      for (std::thread& thread : threads) thread.join();
    }
    for (int i = 0; i < count; ++i) {
      RenderedFrame& slot = batch[i];
      for (const std::string& line : slot.console) {
        if (consoleFile.is_open()) consoleFile << line;
        if (job.consoleToStderr) std::fputs(line.c_str(), stderr);
      }
      if (!slot.ok) {
        writer.Abort();
        throw MediaError("frame " + std::to_string(batchStart + i) + ": the effect could not render it" +
                         (slot.error.empty() ? std::string(" (a source frame was not delivered)")
                                             : ": " + slot.error));
      }
      writer.Write(slot.picture.pixels.data(), slot.picture.width * 4);
      ++written;
    }
    if (job.progress) ShowProgress(written, total, start);
  }
  if (job.progress) std::fputc('\n', stderr);
  if (interruptRequested.load()) {
    writer.Abort();
    throw MediaError(job.output + ": interrupted; nothing written");
  }
  writer.Finish();
  return written;
}

}  // namespace cli
