/* The command line's baseline: the least a libmodbus master does to read the
 * transmitter once. Opens PORT at 9600 8N1, reads holding registers 1 to 37
 * of slave 1, prints them and exits (status 0 only with a valid reply).
 *
 *   bench_modbus_read PORT
 */
#include <errno.h>
#include <modbus.h>
#include <stdio.h>

int main(int argc, char* argv[])
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s PORT\n", argv[0]);
        return 2;
    }
    modbus_t* ctx = modbus_new_rtu(argv[1], 9600, 'N', 8, 1);
    if (!ctx || modbus_set_slave(ctx, 1) != 0 || modbus_connect(ctx) != 0) {
        fprintf(stderr, "%s: %s\n", argv[1], modbus_strerror(errno));
        if (ctx)
            modbus_free(ctx);
        return 1;
    }
    uint16_t words[37];
    /* Register 1 is the protocol's address 0. */
    const int got = modbus_read_registers(ctx, 0, 37, words);
    if (got != 37)
        fprintf(stderr, "read: %s\n", modbus_strerror(errno));
    for (int i = 0; i < got; ++i)
        printf("%d%c", words[i], i + 1 < got ? ' ' : '\n');
    modbus_close(ctx);
    modbus_free(ctx);
    return got == 37 ? 0 : 1;
}
