// Module-wide state of the camera module.
#include "edog/e_dog_source_date.h"

#include "edog/e_dog_internal.h"

char e_dog_datafile[32] = "DATA_T.BIN";
char e_dog_usrfile[32] = "speedcam22.txt";
GPS_INFO_T gps_latlong_info = {};
E_DOG_LCD e_dog_lcd = {};

UINT8 e_dog_run_flag = 0;
std::FILE* fp_e_dog = nullptr;
std::uint32_t e_dog_list_size = 0;
GPSNode* edog_heap_buffer_addr = nullptr;
LinkQueue q_header = nullptr;
