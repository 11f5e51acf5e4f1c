// Private state of the camera module.
#include "edog/e_dog_internal.h"

UINT8 e_dog_run_flag = 0;
std::FILE* fp_e_dog = nullptr;
std::uint32_t e_dog_list_size = 0;
GPSNode* edog_heap_buffer_addr = nullptr;
LinkQueue q_header = nullptr;
