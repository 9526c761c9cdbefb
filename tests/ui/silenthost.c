/* A records host that takes connections and never answers: listens on a Unix socket and never
   accepts, so a client's connect succeeds and its first read waits for good. Runs until killed.
   Usage: silenthost <socket path> */
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    struct sockaddr_un addr = {0};
    if (argc != 2 || strlen(argv[1]) >= sizeof addr.sun_path) {
        fprintf(stderr, "usage: silenthost <socket path>\n");
        return 2;
    }
    addr.sun_family = AF_UNIX;
    strcpy(addr.sun_path, argv[1]);
    int s = socket(AF_UNIX, SOCK_STREAM, 0);
    if (s < 0 || bind(s, (struct sockaddr *)&addr, sizeof addr) != 0 || listen(s, 8) != 0) {
        perror("silenthost");
        return 1;
    }
    for (;;)
        pause();
}
