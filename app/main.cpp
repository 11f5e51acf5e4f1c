// Console driver: rebuilds the data file from the camera list, waits for two
// characters, prints a check distance.
#include <cstdio>

#include "edog/e_dog_source_date.h"
#include "geo/distance.h"

int main(int /*argc*/, char* /*argv*/[]) {
    // The result is reported by the build itself; the run goes on regardless.
    (void)e_dog_updata_tsk();

    // Two characters from the console; at end of input both return at once.
    (void)std::getc(stdin);
    (void)std::getc(stdin);

    std::printf("=========%f \n", get_distance(22.640175, 113.918045, 22.6431, 113.920148));
    return 0;
}
