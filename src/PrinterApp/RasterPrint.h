// PAPPL's raster callbacks over the print path: a job opens a PrintJob whose
// packets go to the PAPPL device, each page's rows are handed in as PAPPL
// renders them (24-bit sRGB), and the page is processed and sent at its end.
// A job cancelled through IPP stops at the next row and sends nothing more.
#ifndef TQ58_PRINTERAPP_RASTERPRINT_H
#define TQ58_PRINTERAPP_RASTERPRINT_H

#include <pappl/pappl.h>

// Each blocks on the device as the print path writes to it.
bool StartRasterJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);
bool StartRasterPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned page);
bool WriteRasterLine(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned y,
                     const unsigned char* line);
bool EndRasterPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned page);
bool EndRasterJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);

#endif
