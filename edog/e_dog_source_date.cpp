// Public state of the camera module.
#include "edog/e_dog_source_date.h"

char e_dog_datafile[32] = "DATA_T.BIN";
char e_dog_usrfile[32] = "speedcam22.txt";
GPS_INFO_T gps_latlong_info = {};
E_DOG_LCD e_dog_lcd = {};
