// Makes every hostile height image, each as hmap.bmp in a folder of its own
// named after its case, so the viewer can be run in each.
//
//   make_hostile_bmp DIR

#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "hostile_bmp.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    for (const HostileImage& image : hostile_images()) {
        const std::string folder = std::string(argv[1]) + "/" + image.name;
        mkdir(folder.c_str(), 0755);
        if (!image.make(folder + "/hmap.bmp")) {
            fprintf(stderr, "%s: cannot make %s\n", argv[0], folder.c_str());
            return 1;
        }
        printf("%s\t%s\n", image.name, image.what);
    }
    return 0;
}
