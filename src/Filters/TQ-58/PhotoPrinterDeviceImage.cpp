// The device entry's image operations: processing a page and sending prints.
#include <cstdio>

#include "PhotoPrinterDevice.h"

DeviceEntry::~DeviceEntry()
{
  FreeMediaBuffer();
}

_tagBITMAPHANDLE* DeviceEntry::MakeImageData(char* page, long width, long height, int slot)
{
  imageBuffer.Alloc(mediaInfo);
  static_cast<ImageSettings&>(imageBuffer) = *this;
  return imageBuffer.ColorProcess(page, width, height, slot);
}

void DeviceEntry::SetImageData(int slot, _tagBITMAPHANDLE* bitmap)
{
  imageBuffer.SetImageData(slot, bitmap);
}

int DeviceEntry::SendMediaSize(const DeviceMediaBufferInfo* media)
{
  char digits[16];
  std::snprintf(digits, sizeof digits, "%08d", media->multiCutCode);
  DeviceCmd cmd;
  cmd.MakeCmd("IMAGE", "MULTICUT", 8, digits);
  SetCommand(cmd.data, static_cast<size_t>(cmd.len));
  cmd.Free();
  return 1;
}

bool DeviceEntry::SendImageData(int count)
{
  const DeviceMediaBufferInfo media = count >= 2 ? GetMultiMediaInfo(&mediaInfo, count) : mediaInfo;
  const bool sent = PrintImageData(&media);
  if (sent) Clear();
  return sent;
}

bool DeviceEntry::PrintImageData(const DeviceMediaBufferInfo* media)
{
  // A page size the printer does not know has no geometry to print on: send nothing.
  if (media->mediaCode == -1) return false;
  SendMediaSize(media);
  if (imageBuffer.Send(this, media) != 0) return false;
  DeviceCmd start;
  start.MakeCmd("CNTRL", "START", -1, nullptr);
  SetCommand(start.data, static_cast<size_t>(start.len));
  start.Free();
  // Hand the finished print on at once rather than at the end of the job.
  sink_(sinkContext_, nullptr, 0);
  return true;
}

void DeviceEntry::AllocMediaBuffer()
{
  imageBuffer.Alloc(mediaInfo);
}

void DeviceEntry::FreeMediaBuffer()
{
  imageBuffer.Free();
}

int DeviceEntry::Send(const DeviceMediaBufferInfo* media)
{
  return imageBuffer.Send(this, media);
}

int DeviceEntry::Clear()
{
  return imageBuffer.Clear();
}
