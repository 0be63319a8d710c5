// Hands the encoder's events to the user-interface thread: they are queued to
// the thread that created this object and run there in order, one at a time,
// and the encoder's worker never waits for them. Events still queued when
// this object is destroyed are dropped. Destroy it only after the encoder it
// listens to has been shut down (or given other sinks and left idle).
#pragma once

#include <QImage>
#include <QObject>

#include <functional>
#include <memory>

#include "vantora/video_encoder.h"

namespace vantora {

class UiEncoderEvents : public EncoderEvents, public PreviewSink {
 public:
  struct Handlers {
    std::function<void(std::uint8_t percent)> progress;
    std::function<void(const EncodeResult& result)> completed;
    std::function<void(const QImage& picture)> preview;  // a null image clears it
  };

  explicit UiEncoderEvents(Handlers handlers);
  ~UiEncoderEvents() override;

  void OnProgress(std::uint8_t percent) override;
  void OnCompleted(const EncodeResult& result) override;
  void OnPreviewFrame(const PreviewFrame& frame) override;

 private:
  Handlers handlers_;
  std::unique_ptr<QObject> context_;  // lives on the user-interface thread
};

}  // namespace vantora
