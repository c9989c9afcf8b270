// zadatak: ten workers over one shared array, ordered by a single monitor.
//
// Worker k carries out one command, fixed by k mod 3 (read, append, delete), and
// narrates it: request, pause, admission, execution, outcome, release. The monitor
// (`mutex`, `cond`, three counters and the index under deletion) admits:
//   - readers together, and beside an append;
//   - one append at a time, never beside a deletion;
//   - one deletion at a time, only once nothing else runs; while it runs, readers
//     of a lower index are still admitted and readers at or above it wait.
// There is no queue: every release broadcasts `cond` and whichever waiter first
// finds its condition false goes ahead, so a waiting deletion does not hold back
// readers that arrive after it.
//
// The store takes no lock of its own. The monitor keeps appends and deletions
// apart, but readers run beside them, so the count and the slots are relaxed
// 32-bit atomics: concurrent accesses never race, and no order beyond that is
// needed because a reader's trace line shows no value.

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

constexpr int BROJ_RADNIKA = 10;
constexpr int KAPACITET = 100;

// ---- Array store -----------------------------------------------------------

// Live elements are niz[0 .. BROJ_ELEMENATA-1]; slots above hold stale values.
std::atomic<int32_t> niz[KAPACITET];
std::atomic<int32_t> BROJ_ELEMENATA{9};

int citajNiz(int index) {
  int32_t broj = BROJ_ELEMENATA.load(std::memory_order_relaxed);
  if (index >= broj || broj <= 0) return -1;
  return niz[index].load(std::memory_order_relaxed);
}

// A full store refuses the value (-1) rather than write past its last slot; a
// run has three appends, so it never gets there.
int dodajUNiz(int vrednost) {
  int32_t broj = BROJ_ELEMENATA.load(std::memory_order_relaxed);
  if (broj >= KAPACITET) return -1;
  BROJ_ELEMENATA.store(broj + 1, std::memory_order_relaxed);
  niz[broj].store(vrednost, std::memory_order_relaxed);
  return vrednost;
}

int ukloniUNizu(int index) {
  int32_t broj = BROJ_ELEMENATA.load(std::memory_order_relaxed);
  if (index >= broj) return -1;
  for (int i = index; i < broj - 1; ++i)
    niz[i].store(niz[i + 1].load(std::memory_order_relaxed), std::memory_order_relaxed);
  BROJ_ELEMENATA.store(broj - 1, std::memory_order_relaxed);
  return index;
}

// ---- Monitor ---------------------------------------------------------------

// `mutex` must be held when using any field of this group. Invariant:
// elementSeBrise is -1 exactly when nBrisanje is 0.
pthread_mutex_t mutex;
pthread_cond_t cond;           // every admission wait; broadcast at every release
int32_t nCitanje = 0;          // readers admitted and not yet released
int32_t nDodavanje = 0;        // appends admitted and not yet released (0 or 1)
int32_t nBrisanje = 0;         // deletions admitted and not yet released (0 or 1)
int32_t elementSeBrise = -1;   // index being deleted by the admitted deletion

// ---- Shared generator and process status -----------------------------------

// Every draw from `rand` is taken under `mutexRand`, so draws never race.
pthread_mutex_t mutexRand = PTHREAD_MUTEX_INITIALIZER;

int izvuci() {
  pthread_mutex_lock(&mutexRand);
  int broj = rand();
  pthread_mutex_unlock(&mutexRand);
  return broj;
}

// Set by main when a worker could not be started; read by the exit handler.
std::atomic<bool> radnikNijePokrenut{false};

// ---- Workers ---------------------------------------------------------------

struct Zahtev {
  int32_t brojRadnika;
  char naredba[32];
  int32_t argument;
};

void ispisi(const char* faza, const Zahtev* z) {
  printf("%s: Радник %d наредба %s — %d\n", faza, z->brojRadnika, z->naredba, z->argument);
}

void pauza() { sleep(izvuci() % 3); }

void najavi(const Zahtev* z) {
  ispisi("ЗАХТЕВ", z);
  pauza();
}

// An admitted worker's work: announce, call the store between two pauses, report.
void izvrsi(const Zahtev* z, int (*operacija)(int)) {
  ispisi("ИЗВРШАВАЊЕ", z);
  pauza();
  int rezultat = operacija(z->argument);
  pauza();
  ispisi(rezultat == -1 ? "НЕУСПЕХ" : "УСПЕХ", z);
}

// Gives up an admission counted in *brojac and wakes every waiter.
void otpusti(int32_t* brojac) {
  pthread_mutex_lock(&mutex);
  --*brojac;
  if (nBrisanje == 0) elementSeBrise = -1;
  pthread_cond_broadcast(&cond);
  pthread_mutex_unlock(&mutex);
}

void* citanje(void* arg) {
  const Zahtev* z = static_cast<const Zahtev*>(arg);
  najavi(z);

  pthread_mutex_lock(&mutex);
  // Held back only by a deletion at or below our index; its release broadcast
  // ends the wait.
  while (nBrisanje > 0 && z->argument >= elementSeBrise) pthread_cond_wait(&cond, &mutex);
  nCitanje++;
  pthread_mutex_unlock(&mutex);

  izvrsi(z, citajNiz);
  otpusti(&nCitanje);
  pthread_exit(nullptr);
}

void* dodavanje(void* arg) {
  const Zahtev* z = static_cast<const Zahtev*>(arg);
  najavi(z);

  pthread_mutex_lock(&mutex);
  // Waits out the running append or deletion; its release broadcast ends the wait.
  while (nBrisanje > 0 || nDodavanje > 0) pthread_cond_wait(&cond, &mutex);
  nDodavanje++;
  pthread_mutex_unlock(&mutex);

  izvrsi(z, dodajUNiz);
  otpusti(&nDodavanje);
  pthread_exit(nullptr);
}

void* brisanje(void* arg) {
  const Zahtev* z = static_cast<const Zahtev*>(arg);
  najavi(z);

  pthread_mutex_lock(&mutex);
  // Waits until nothing runs; the release broadcast of the last one ends the wait.
  while (nBrisanje > 0 || nDodavanje > 0 || nCitanje > 0) pthread_cond_wait(&cond, &mutex);
  nBrisanje++;
  elementSeBrise = z->argument;
  pthread_mutex_unlock(&mutex);

  izvrsi(z, ukloniUNizu);
  otpusti(&nBrisanje);
  pthread_exit(nullptr);
}

// ---- Start-up --------------------------------------------------------------

const char* const NAREDBE[3] = {"CITANJE", "DODAVANJE", "BRISANJE"};
void* (*const NITI[3])(void*) = {citanje, dodavanje, brisanje};

// Runs when the last thread ends: the trace must have reached standard output,
// and every worker must have run, or the status is not 0.
void zavrsi() {
  int greska = fflush(stdout) != 0 ? errno : 0;
  bool upisan = greska == 0 && !ferror(stdout);
  if (!upisan)
    fprintf(stderr, "zadatak: cannot write the trace: %s\n",
            greska != 0 ? strerror(greska) : "write error");
  if (!upisan || radnikNijePokrenut.load(std::memory_order_relaxed)) _exit(1);
}

int main() {
  pthread_cond_init(&cond, nullptr);
  pthread_mutex_init(&mutex, nullptr);
  atexit(zavrsi);
  srand(time(nullptr));
  for (int i = 1; i <= BROJ_ELEMENATA; ++i) niz[i - 1] = i;

  Zahtev zahtevi[BROJ_RADNIKA];
  pthread_t niti[BROJ_RADNIKA];
  bool pokrenut[BROJ_RADNIKA];
  for (int j = 0; j < BROJ_RADNIKA; ++j) {
    zahtevi[j].brojRadnika = j;
    printf("%d", j);
  }
  for (int k = 0; k < BROJ_RADNIKA; ++k) {
    Zahtev* z = &zahtevi[k];
    z->brojRadnika = k;
    snprintf(z->naredba, sizeof z->naredba, "%s", NAREDBE[k % 3]);
    z->argument = izvuci() % 9;
    int greska = pthread_create(&niti[k], nullptr, NITI[k % 3], z);
    pokrenut[k] = greska == 0;
    if (greska != 0) {
      fprintf(stderr, "zadatak: cannot start worker %d: %s\n", k, strerror(greska));
      radnikNijePokrenut.store(true, std::memory_order_relaxed);
    }
  }
  for (int k = 0; k < BROJ_RADNIKA; ++k)
    if (pokrenut[k]) pthread_join(niti[k], nullptr);
  pthread_exit(nullptr);
}
