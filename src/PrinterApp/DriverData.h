// The TQ-58 as PAPPL sees it: the driver's name, the printer's IPP
// description (media under their PWG names, resolutions, raster type, the
// vendor attributes of the PPD's options with their defaults) and the
// translation of a job's IPP options into the option names the print path
// reads (the PPD's keywords and choices).
#ifndef TQ58_PRINTERAPP_DRIVERDATA_H
#define TQ58_PRINTERAPP_DRIVERDATA_H

#include <pappl/pappl.h>

inline constexpr const char* kTQ58DriverName = "pellori_tq-58";
inline constexpr const char* kTQ58DriverDescription = "PELLORI SYSTEMS TQ-58";

// The PPD's PageSize choice ("102x153mm") of a PWG media name
// ("na_index-4x6_4x6in"); null for a size the printer does not have.
const char* GetPageSizeForMedia(const char* pwgName);

// The PWG name of the 6-inch print on the loaded roll, whose width INFO MEDIA
// reports after its two leading digits (150: 4 in, 161: 4.5 in); null for a
// width the printer does not have.
const char* GetMediaForLoadedSize(int sizeCode);

// Fills data (already cleared by PAPPL) and adds the vendor attributes'
// "-supported" and "-default" values to *attrs (made when null). Callbacks
// are left to the caller. Does not block.
void SetDriverData(pappl_pr_driver_data_t* data, ipp_t** attrs);

// The job's options for the print path (PageSize, Resolution, FyxBorder and
// the vendor options under their PPD keywords), added to *out; returns the
// new count. Free with cupsFreeOptions. Does not block.
int GetJobOptions(const pappl_pr_options_t* options, cups_option_t** out);

#endif
