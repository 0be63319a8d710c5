#include "vantora/ui_encoder_events.h"

#include <QMetaObject>

namespace vantora {

UiEncoderEvents::UiEncoderEvents(Handlers handlers)
    : handlers_(std::move(handlers)), context_(std::make_unique<QObject>()) {}

UiEncoderEvents::~UiEncoderEvents() = default;

void UiEncoderEvents::OnProgress(std::uint8_t percent) {
  if (!handlers_.progress) return;
  QMetaObject::invokeMethod(
      context_.get(), [this, percent] { handlers_.progress(percent); }, Qt::QueuedConnection);
}

void UiEncoderEvents::OnCompleted(const EncodeResult& result) {
  if (!handlers_.completed) return;
  QMetaObject::invokeMethod(
      context_.get(), [this, result] { handlers_.completed(result); }, Qt::QueuedConnection);
}

void UiEncoderEvents::OnPreviewFrame(const PreviewFrame& frame) {
  if (!handlers_.preview) return;
  QImage picture;
  if (frame.width > 0 && frame.height > 0 &&
      frame.rgb.size() == static_cast<std::size_t>(frame.width) * frame.height * 3) {
    // A deep copy: the frame lives only for this call.
    picture =
        QImage(frame.rgb.data(), frame.width, frame.height, frame.width * 3, QImage::Format_RGB888).copy();
  }
  QMetaObject::invokeMethod(
      context_.get(), [this, picture] { handlers_.preview(picture); }, Qt::QueuedConnection);
}

}  // namespace vantora
