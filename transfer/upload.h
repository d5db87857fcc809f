// Upload: copies a local file to the device in chunks of at most 32 bytes,
// each sent when the device acknowledges the previous one.
#ifndef UPLOAD_H
#define UPLOAD_H

class MainWindowUi;

// The Upload button.
void startUpload(MainWindowUi &ui);

// Sends the next chunk, or the end frame when nothing is left.
void sendUploadChunk();

// The UPLOAD branch of the reply handler.
void handleUploadReply(MainWindowUi &ui);

#endif // UPLOAD_H
