/* Debian's stb_vorbis (public domain) compiled on its own, so its code is not held to the
   project's warnings. Only the in-memory pull decoder is used. */
#include <stdlib.h>

/* Its allocations go through a per-thread list: on some errors in a hostile header it leaks
   what it allocated (or frees slots it never filled), so the caller releases whatever is left
   once the decoder is closed. A hostile header can also ask for a negative size that becomes a
   huge one; no real stream needs more than the cap, and a refused allocation is an error. */
struct hml_stb_block {
    struct hml_stb_block* prev;
    struct hml_stb_block* next;
    void* pad[2]; /* keeps the payload 16-byte aligned */
};

/* Linked to itself on first use: a thread-local address is not a constant. */
static _Thread_local struct hml_stb_block hml_stb_live;

static void* hml_stb_malloc(size_t size) {
    struct hml_stb_block* b;
    struct hml_stb_block* head = &hml_stb_live;
    if (size > ((size_t)16 << 20))
        return NULL;
    b = (struct hml_stb_block*)calloc(1, sizeof(*b) + size);
    if (b == NULL)
        return NULL;
    if (head->next == NULL)
        head->next = head->prev = head;
    b->next = head->next;
    b->prev = head;
    head->next->prev = b;
    head->next = b;
    return b + 1;
}

static void hml_stb_free(void* p) {
    struct hml_stb_block* b;
    if (p == NULL)
        return;
    b = (struct hml_stb_block*)p - 1;
    b->prev->next = b->next;
    b->next->prev = b->prev;
    free(b);
}

void hml_stb_vorbis_release_all(void) {
    struct hml_stb_block* head = &hml_stb_live;
    while (head->next != NULL && head->next != head)
        hml_stb_free(head->next + 1);
}

#define malloc(size) hml_stb_malloc(size)
#define free(p) hml_stb_free(p)

#define STB_VORBIS_NO_STDIO
#define STB_VORBIS_NO_PUSHDATA_API
#include <stb_vorbis.h>
